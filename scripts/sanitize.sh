#!/bin/sh
# Builds the monitor and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in a build
# tree of its own and runs the whole suite there. A fault ends the test that meets it; a leak is
# reported when a test program ends. What lies in a library outside the project is named in the
# suppression files of tests/sanitizers, each with the reason.
set -eu
SAN_BUILD=${1:-build-asan}
JOBS=${2:-$(nproc)}
SOURCE=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$SAN_BUILD/build.ninja" ]; then
    # -O1: the sanitizers' usual level, far quicker to build than -O2 and still quick to run.
    cmake -S "$SOURCE" -B "$SAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
        -DKESSVENN_SANITIZE=ON -DKESSVENN_WERROR=ON -DKESSVENN_BENCH=OFF
fi
cmake --build "$SAN_BUILD" -j "$JOBS"

# Inherited by every test and by the monitor and helper programs that the tests start.
SUPPRESSIONS="$SOURCE/tests/sanitizers"
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$SUPPRESSIONS/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$SUPPRESSIONS/ubsan.supp"
cd "$SAN_BUILD" && ctest --output-on-failure -j "$JOBS"
