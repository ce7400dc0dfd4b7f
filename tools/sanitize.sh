#!/usr/bin/env bash
# Builds Quillwick with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test
# suite under them. Leak reports that come from Qt's own internals are suppressed through
# tools/lsan.supp; nothing of the project's own is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh linux sanitize
build=build/sanitize
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLWICK_SANITIZE=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure
