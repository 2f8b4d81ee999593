#!/bin/sh
# The test programs of the core load no widget library: each program given is asked for the shared
# libraries it loads (ldd), and any of Qt's widgets among them is named. The core's behaviour is
# thus proven without a display.
set -eu
found=0
for program in "$@"; do
    if ! libraries=$(ldd "$program"); then
        echo "cannot list the libraries of $program"
        found=1
        continue
    fi
    if echo "$libraries" | grep -q 'libQt6Widgets'; then
        echo "$program (a test of the core) loads $(echo "$libraries" | grep -o 'libQt6Widgets[^ ]*' | head -n 1)"
        found=1
    fi
done
[ "$found" -eq 0 ] && echo "$# test programs of the core, none loads widgets"
exit "$found"
