#!/bin/sh
# Installs the Debian packages that building, testing and the demo need.
# Does nothing when every package is already present.
set -eu

PACKAGES="qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libasound2-dev libsndfile1-dev ninja-build cmake g++ \
clang clang-format libclang-rt-14-dev libbenchmark-dev libx11-dev libxext-dev libxss-dev qt6-translations-l10n xvfb xauth espeak-ng sox alsa-utils fonts-liberation2 \
libqt6svg6 fontconfig iproute2 util-linux routino libsystemd-dev systemd desktop-file-utils dpkg-dev file gzip man-db lintian \
libcups2-dev libqrencode-dev libical-dev cups-daemon cups-client poppler-utils zbar-tools \
libosmium2-dev libprotozero-dev zlib1g-dev libbz2-dev libexpat1-dev liblz4-dev libboost-dev multimon-ng"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
else
    SUDO="sudo"
fi

echo "Installing:$missing"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
