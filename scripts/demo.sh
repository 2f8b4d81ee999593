#!/bin/sh
# Runs the monitor against the local dispatch simulator. The monitor keeps its files in a data
# folder inside the build tree, never in the user's own.
set -eu
BUILD=${1:-build}
BUILD=$(cd "$BUILD" && pwd)
DEMO_HOME="$BUILD/demo-data"
mkdir -p "$DEMO_HOME"
export XDG_DATA_HOME="$DEMO_HOME"

# The dispatch simulator plays the demo scenario on 127.0.0.1:4750 while the monitor runs, and
# ends with it.
SOURCE=$(cd "$(dirname "$0")/.." && pwd)
"$BUILD/bin/kessvenn-dispatch" --listen 127.0.0.1 --port 4750 "$SOURCE/tools/demo.scenario" </dev/null &
DISPATCH_PID=$!
trap 'kill "$DISPATCH_PID" 2>/dev/null || true' EXIT INT TERM
sleep 0.5
if ! kill -0 "$DISPATCH_PID" 2>/dev/null; then
    echo "demo: the dispatch simulator did not start (is port 4750 taken?)" >&2
    exit 1
fi

"$BUILD/bin/kessvenn"
