#!/bin/sh
# Builds the tests whose work runs on threads (the history, the printout, the water look-up, the
# announcement, the crew's files, the alarm from end to end) with ThreadSanitizer in a build tree
# of its own and runs them there. A data race ends the program that meets it, and so fails its
# test. What lies in a library outside the project is named in tests/sanitizers/tsan.supp, with the
# reason.
set -eu
TSAN_BUILD=${1:-build-tsan}
JOBS=${2:-$(nproc)}
SOURCE=$(cd "$(dirname "$0")/.." && pwd)
TESTS="test_history test_print test_water test_announce test_alarm test_alarm_window test_alarm_endtoend test_crew"

if [ ! -f "$TSAN_BUILD/build.ninja" ]; then
    cmake -S "$SOURCE" -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
        -DKESSVENN_SANITIZE_THREAD=ON -DKESSVENN_WERROR=ON -DKESSVENN_BENCH=OFF
fi
# The monitor itself too: the end-to-end tests start it.
# shellcheck disable=SC2086
cmake --build "$TSAN_BUILD" -j "$JOBS" --target kessvenn $TESTS

# Inherited by the tests and by the monitor that they start. A test program starts processes
# (QProcess) while its threads run; the child replaces itself with the program at once, so
# ThreadSanitizer need not end it (die_after_fork=0). What libraries built without ThreadSanitizer
# (Qt, glib) allocate, free and copy in their own code is theirs to order
# (ignore_noninstrumented_modules=1); the project's own code is watched in full.
export TSAN_OPTIONS="halt_on_error=1:die_after_fork=0:ignore_noninstrumented_modules=1:second_deadlock_stack=1:suppressions=$SOURCE/tests/sanitizers/tsan.supp"
regex=$(echo "$TESTS" | sed 's/ /|/g')
cd "$TSAN_BUILD" && ctest --output-on-failure -j "$JOBS" -R "^($regex)\$"
