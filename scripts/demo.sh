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
# blank and no request leaves the computer. DEMO_MAP_INI names a map.ini of one's own to try the
# map and the route with (copied in at every start); a map.ini put into the demo data folder by
# hand, without the demo's first line, is left as it is.
mkdir -p "$DEMO_HOME/Torvelle"
DEMO_MAP="$DEMO_HOME/Torvelle/map.ini"
DEMO_MAP_MARK="# written by make demo; replace this file, or set DEMO_MAP_INI, for a map of your own"
if [ -n "${DEMO_MAP_INI:-}" ]; then
    cp "$DEMO_MAP_INI" "$DEMO_MAP"
    echo "demo: the map and the route from $DEMO_MAP_INI"
elif [ ! -e "$DEMO_MAP" ] || [ "$(head -n 1 "$DEMO_MAP")" = "$DEMO_MAP_MARK" ]; then
    printf '%s\nhost=http://127.0.0.1:9\nkey=\n' "$DEMO_MAP_MARK" >"$DEMO_MAP"
else
    echo "demo: the map and the route from $DEMO_MAP, left as it is"
fi

# The demo station's crew and vehicles, written only when the demo data folder has none: the
# strength counts leaders and qualifications, and the board shows the station's vehicles in order.
DEMO_CREW="$DEMO_HOME/Torvelle/mannschaft.csv"
if [ ! -e "$DEMO_CREW" ]; then
    printf '%s\r\n' "Melder;Name;Qualifikation" "1001;Anna Schäfer;ZF AGT" "1002;Jörg Weiß;GF AGT Ma" \
        "1003;Özlem Yilmaz;AGT Ma" "1004;Bernd Müller;Ma C" "1005;Käthe Groß;GF Ma" "1006;Lutz Böhm;AGT C" \
        "1007;Uwe Dämmrich;Ma" >"$DEMO_CREW"
fi
DEMO_VEHICLES="$DEMO_HOME/Torvelle/fahrzeuge.ini"
if [ ! -e "$DEMO_VEHICLES" ]; then
    printf '%s\n' "# The demo station's vehicles: radio call name = short name" \
        "Florian Hagen 1-ELW-1 = ELW 1" "Florian Hagen 1-HLF20-1 = HLF 20" "Florian Hagen 1-DLK23-1 = DLK 23" \
        >"$DEMO_VEHICLES"
fi

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
