#!/bin/sh
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
B=build-test
[ -f $B/build.ninja ] || cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCLIPVANE_SANITIZE=ON
cmake --build $B -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:exitcode=66"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
cd $B && exec ctest --output-on-failure -j2 --timeout 300
