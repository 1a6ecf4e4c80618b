#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the task-file fuzzers into build-fuzz/ and runs them for a bounded time:
#   fuzz_taskfile    arbitrary bytes into the reader (two thirds of the time), over a working
#                    copy of fuzz/corpus (the repository's corpus is never written to);
#   fuzz_taskwriter  arbitrary trees and texts into the writer (the other third).
#   scripts/fuzz.sh [seconds] [extra libFuzzer options...]
# Seconds default to 60 (or $FUZZ_SECONDS). A crash, a leak, a hang, running out of memory or
# a tree that changes over a write and a read fails the script and names the input that did it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-${FUZZ_SECONDS:-60}}
shift || true
build=$root/build-fuzz

cxx=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$cxx" ]; then
  echo "fuzz.sh: clang++ is missing (scripts/install-deps.sh --tests installs it)" >&2
  exit 2
fi

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_taskfile fuzz_taskwriter -j"${FUZZ_BUILD_JOBS:-2}"

supp=$root/fuzz/lsan.supp
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0:${LSAN_OPTIONS:-}"

artifacts=$build/artifacts
mkdir -p "$artifacts"

# run <target> <working corpus> <seed folder or ""> <seconds> [libFuzzer options...]
run() {
  local target=$1 work=$2 seeds=$3 time=$4
  shift 4
  mkdir -p "$work"

  # Every run adds its new inputs; once there are many, keep only those that add coverage.
  if [ "$(find "$work" -type f | wc -l)" -gt 2000 ]; then
    rm -rf "$work.min"
    mkdir -p "$work.min"
    if "$build/$target" -merge=1 -timeout=5 -rss_limit_mb=2048 "$work.min" "$work" >"$build/$target.merge.log" 2>&1; then
      rm -rf "$work"
      mv "$work.min" "$work"
    fi
  fi
  # The seeds go back in every time, so a regression input is replayed even after a merge.
  if [ -n "$seeds" ]; then
    cp -f "$seeds"/* "$work"/
  fi

  local stamp=$build/.$target.start log=$build/$target.log status
  touch "$stamp"
  set +e
  "$build/$target" "$work" \
    -max_total_time="$time" \
    -timeout=5 \
    -rss_limit_mb=2048 \
    -detect_leaks=1 \
    -artifact_prefix="$artifacts/$target-" \
    -print_final_stats=1 \
    "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  set -e

  if [ "$status" -ne 0 ]; then
    echo >&2
    echo "fuzz.sh: $target stopped with status $status" >&2
    local found=0 f
    while IFS= read -r f; do
      echo "fuzz.sh: failing input: $f" >&2
      found=1
    done < <(find "$artifacts" -type f -name "$target-*" -newer "$stamp" 2>/dev/null)
    if [ "$found" -eq 0 ]; then
      grep -E 'Test unit written to|artifact' "$log" >&2 || true
    fi
    echo "fuzz.sh: replay with: $build/$target <input>" >&2
    exit 1
  fi
}

reader=$((seconds * 2 / 3))
[ "$reader" -ge 1 ] || reader=1
writer=$((seconds - reader))
[ "$writer" -ge 1 ] || writer=1

run fuzz_taskfile "$build/corpus" fuzz/corpus "$reader" -dict=fuzz/taskfile.dict "$@"
run fuzz_taskwriter "$build/corpus-writer" "" "$writer" "$@"
echo "fuzz.sh: no failure in ${seconds} s"
