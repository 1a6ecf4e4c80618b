#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, test tools included, builds everything into build/ with warnings as
# errors and runs the whole test suite headless: unit and end-to-end tests (CTest), the unit
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, the task-file fuzzer for
# about a minute, and the format check. Every step runs; the script fails when any of them failed.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests || exit 1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DLISTRA_WARNINGS_AS_ERRORS=ON -DLISTRA_BUILD_TESTS=ON -DLISTRA_BUILD_BENCH=ON || exit 1
cmake --build build -j"$(nproc)" || exit 1

failed=()
step() {
  local name=$1
  shift
  echo "==> $name"
  if ! "$@"; then
    failed+=("$name")
  fi
}

step "tests" env QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$(nproc)"
step "sanitizers" scripts/test-sanitize.sh
step "fuzzing" scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
step "formatting" scripts/check-format.sh

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All checks passed."
