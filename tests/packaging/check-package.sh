#!/bin/sh
# Builds kessvenn_<version>_amd64.deb from the build folder given and checks it: every file it
# installs and nothing else, dependencies found by dpkg-shlibdeps, no error or warning from lintian,
# the unit and the menu entry accepted by systemd and freedesktop's checks, manual pages that render
# (kessvenn(5) with the schema's keys), the examples written from the schema, a program that runs.
set -eu
BUILD=$1
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$BUILD" && cpack -G DEB -B "$OUT") >"$OUT/cpack.log" 2>&1 || { cat "$OUT/cpack.log"; fail "cpack"; }
DEB=$(ls "$OUT"/kessvenn_*_amd64.deb)

dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { print $1, $6 ($7 == "" ? "" : " " $7 " " $8) }' | LC_ALL=C sort >"$OUT/contents"
LC_ALL=C sort >"$OUT/expected" <<'LIST'
-rw-r--r-- ./opt/kessvenn/alarm.wav
-rwxr-xr-x ./opt/kessvenn/kessvenn
-rwxr-xr-x ./opt/kessvenn/kessvenn-dispatch
lrwxrwxrwx ./usr/bin/kessvenn -> /opt/kessvenn/kessvenn
lrwxrwxrwx ./usr/bin/kessvenn-dispatch -> /opt/kessvenn/kessvenn-dispatch
-rw-r--r-- ./usr/share/doc/kessvenn/changelog.gz
-rw-r--r-- ./usr/share/doc/kessvenn/copyright
-rw-r--r-- ./usr/share/doc/kessvenn/README.md.gz
-rw-r--r-- ./usr/share/doc/kessvenn/kessvenn-dispatch.md.gz
-rw-r--r-- ./usr/share/doc/kessvenn/examples/alarmwege.ini
-rw-r--r-- ./usr/share/doc/kessvenn/examples/display.ini
-rw-r--r-- ./usr/share/doc/kessvenn/examples/fahrzeuge.ini
-rw-r--r-- ./usr/share/doc/kessvenn/examples/history.ini
-rw-r--r-- ./usr/share/doc/kessvenn/examples/mannschaft.csv
-rw-r--r-- ./usr/share/doc/kessvenn/examples/map.ini
-rw-r--r-- ./usr/share/doc/kessvenn/examples/print.ini
-rw-r--r-- ./usr/share/lintian/overrides/kessvenn
-rw-r--r-- ./usr/lib/systemd/user/kessvenn.service
-rw-r--r-- ./usr/lib/systemd/user/kessvenn-headless.service
-rw-r--r-- ./usr/share/applications/kessvenn.desktop
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/kessvenn.svg
-rw-r--r-- ./usr/share/man/man1/kessvenn-dispatch.1.gz
-rw-r--r-- ./usr/share/man/man1/kessvenn.1.gz
-rw-r--r-- ./usr/share/man/man5/kessvenn.5.gz
LIST
diff -u "$OUT/expected" "$OUT/contents" || fail "package contents"

# Versions as the libraries' symbols need them: a hand-written list would not carry libc6's.
DEPENDS=", $(dpkg-deb -f "$DEB" Depends),"
case "$DEPENDS" in *", libc6 (>= 2."*) ;; *) fail "Depends lacks a versioned libc6:$DEPENDS" ;; esac
for lib in libqt6widgets6 libqt6network6 libqt6sql6 libqt6sql6-sqlite libsystemd0 libasound2 libsndfile1; do
    case "$DEPENDS" in *", $lib "* | *", $lib,"*) ;; *) fail "Depends lacks $lib:$DEPENDS" ;; esac
done

# Debian's own checks; the one overridden tag (the program folder in /opt) is explained in the README.
LINTIAN=$(lintian --fail-on error,warning "$DEB" 2>&1) || fail "lintian: $LINTIAN"

ROOT="$OUT/root"
dpkg-deb -x "$DEB" "$ROOT"
desktop-file-validate "$ROOT/usr/share/applications/kessvenn.desktop" || fail "desktop-file-validate"
for page in "$ROOT"/usr/share/man/man1/*.1.gz "$ROOT"/usr/share/man/man5/*.5.gz; do
    WARN=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$WARN" ] || fail "$page: $WARN"
done
# The examples written from the schema: each key of the file commented out with its default.
for key in layout=classic route.factor=1 paper=a4 keep_personal_days=180; do
    grep -qxF "# $key" "$ROOT"/usr/share/doc/kessvenn/examples/*.ini || fail "no example shows # $key"
done
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$ROOT/usr/share/man/man5/kessvenn.5.gz" 2>/dev/null | grep -q 'keep_personal_days' ||
    fail "kessvenn(5) lacks the keys of history.ini"
"$ROOT/opt/kessvenn/kessvenn" --version | grep -qx "Kessvenn $(dpkg-deb -f "$DEB" Version)" || fail "kessvenn --version"

# systemd checks that the program and the manual page named by the unit exist: the packaged
# program folder is mounted at /opt in a mount namespace of this check's own.
export XDG_RUNTIME_DIR="$OUT/run" MANPATH="$ROOT/usr/share/man"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unshare -m true 2>/dev/null || { echo "SKIP: no mount namespace (needs root) for systemd-analyze verify"; exit 77; }
# A key it cannot parse is only a warning to systemd-analyze: any word from it is a failure here.
for unit in kessvenn.service kessvenn-headless.service; do
    VERIFY=$(unshare -m sh -c 'mount --bind "$1/opt" /opt && systemd-analyze --user verify "$1/usr/lib/systemd/user/$2"' \
        sh "$ROOT" "$unit" 2>&1) || fail "systemd-analyze verify $unit: $VERIFY"
    [ -z "$VERIFY" ] || fail "systemd-analyze verify $unit: $VERIFY"
done
echo "package $(basename "$DEB") checked"
