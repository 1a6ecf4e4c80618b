#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the test suite with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# and runs the unit tests headless. Any memory error, leak or undefined behaviour fails it.
# Suppressions (tests/sanitizers/*.supp) hold only what belongs to Qt or the platform, each
# with its reason.
#   scripts/test-sanitize.sh [extra ctest options...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-asan
jobs=${SANITIZE_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLISTRA_SANITIZE=ON \
  -DLISTRA_BUILD_TESTS=ON -DLISTRA_BUILD_BENCH=OFF >/dev/null

# Only the test executables: the package and the application are not needed here.
mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\(test_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
if [ ${#targets[@]} -eq 0 ]; then
  echo "test-sanitize.sh: no test targets found" >&2
  exit 2
fi
cmake --build "$build" --target "${targets[@]}" -j"$jobs"

supp=$root/tests/sanitizers
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:suppressions=$supp/asan.supp:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen

ctest --test-dir "$build" -L unit --output-on-failure -j"$jobs" "$@"
