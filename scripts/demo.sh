#!/bin/sh
# Runs the monitor against the local dispatch simulator. The monitor keeps its files in a data
# folder inside the build tree, never in the user's own.
set -eu
BUILD=${1:-build}
BUILD=$(cd "$BUILD" && pwd)
DEMO_HOME="$BUILD/demo-data"
mkdir -p "$DEMO_HOME"
export XDG_DATA_HOME="$DEMO_HOME"

exec "$BUILD/bin/kessvenn"
