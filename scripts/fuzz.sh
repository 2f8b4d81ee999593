#!/bin/sh
# Builds the libFuzzer targets with clang in a build tree of their own and runs each of them for
# the given number of seconds. The corpus grows in the build tree; crashes land there too.
set -eu
FUZZ_BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-25}
SOURCE=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$FUZZ_BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$SOURCE/tests/fuzz" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$FUZZ_BUILD"
FUZZ_BUILD=$(cd "$FUZZ_BUILD" && pwd)

for target in "$FUZZ_BUILD"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$FUZZ_BUILD/corpus/$name"
    mkdir -p "$corpus"
    echo "== $name for ${SECONDS_EACH} s"
    log="$FUZZ_BUILD/$name.log"
    if "$target" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -dict="$SOURCE/tests/fuzz/wire.dict" \
        -artifact_prefix="$FUZZ_BUILD/" "$corpus" "$SOURCE/tests/fuzz/seeds" >"$log" 2>&1; then
        grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added)' "$log" || true
    else
        tail -n 60 "$log" >&2
        echo "fuzz: $name found a fault; the input that shows it is in $FUZZ_BUILD/" >&2
        exit 1
    fi
done
