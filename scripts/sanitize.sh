#!/usr/bin/env bash
# Builds everything (core, command-line calculator, window, tests) with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer into build-asan/ and runs the whole test suite there.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-asan"

"$root/scripts/deps.sh"

# shellcheck source=clang.sh
source "$root/scripts/clang.sh"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug \
  -DVELTRANE_SANITIZE=ON -DVELTRANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# Any sanitizer report fails the test that triggered it. Leak reports from inside system
# libraries that are not ours are listed, one by one, in scripts/lsan.supp.
asan=abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$root/scripts/lsan.supp":print_suppressions=0
# Strict string checks everywhere but in the windows' tests, where libxkbcommon (not ours) trips
# them with a false report.
windows='^(app|fit)\.'
ASAN_OPTIONS=$asan:strict_string_checks=1 \
  ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" -E "$windows"
ASAN_OPTIONS=$asan ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" -R "$windows"
