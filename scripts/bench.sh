#!/bin/sh
# Runs every benchmark of the build tree.
set -eu
BUILD=${1:-build}
for b in "$BUILD"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
