#!/bin/sh
# Runs the monitor against the local dispatch simulator. The monitor keeps its files in a data
# folder inside the build tree, never in the user's own.
set -eu
BUILD=${1:-build}
BUILD=$(cd "$BUILD" && pwd)
DEMO_HOME="$BUILD/demo-data"
mkdir -p "$DEMO_HOME"
export XDG_DATA_HOME="$DEMO_HOME"

# Demo settings, written only when the demo data folder has none (what the settings dialog changes
# stays): sound and speech on, espeak-ng reads the alarm text with its German voice ("-f" before the
# file name; espeak-ng takes the 8-bit text as it is), every spoken part and the unit sounds on,
# the dispatch computer on this machine. 27 lines, Windows-1252, CR LF, readable by the owner only.
DEMO_SETTINGS="$DEMO_HOME/Torvelle/settings.dat"
if [ ! -e "$DEMO_SETTINGS" ]; then
    mkdir -p "$DEMO_HOME/Torvelle"
    (
        umask 077
        printf '%s\r\n' \
            "127.0.0.1" 1 1 "/usr/bin/espeak-ng" "$BUILD/bin/sabbel.txt" "-v de -f" "" \
            "$(printf 'Achtung, Einsatz f\374r die Feuerwehr.')" "Ende der Durchsage." \
            1 1 1 1 1 1 1 1 1 1 1 1 \
            0 "" 0 0 "" "" >"$DEMO_SETTINGS"
    )
fi

# The map service of the demo is this machine, where nothing answers on port 9: the map stays
# blank and no request leaves the computer.
mkdir -p "$DEMO_HOME/Torvelle"
printf 'host=http://127.0.0.1:9\r\nkey=\r\n' > "$DEMO_HOME/Torvelle/map.ini"

# The demo alarm's printout as a PDF in the build tree; no printer is needed and none is used.
SOURCE=$(cd "$(dirname "$0")/.." && pwd)
"$BUILD/bin/kessvenn-printout" "$SOURCE/tools/demo.scenario" "$BUILD/demo-printout.pdf"
echo "demo: the demo alarm's printout is $BUILD/demo-printout.pdf"

# The dispatch simulator plays the demo scenario on 127.0.0.1:4750 while the monitor runs, and
# ends with it.
"$BUILD/bin/kessvenn-dispatch" --listen 127.0.0.1 --port 4750 "$SOURCE/tools/demo.scenario" </dev/null &
DISPATCH_PID=$!
trap 'kill "$DISPATCH_PID" 2>/dev/null || true' EXIT INT TERM
sleep 0.5
if ! kill -0 "$DISPATCH_PID" 2>/dev/null; then
    echo "demo: the dispatch simulator did not start (is port 4750 taken?)" >&2
    exit 1
fi

"$BUILD/bin/kessvenn"
