#!/usr/bin/env bash
# Builds the task-file fuzzer into build-fuzz/ and runs it for a bounded time over a working
# copy of fuzz/corpus (the repository's corpus is never written to).
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
  echo "fuzz.sh: clang++ is missing (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_taskfile -j"${FUZZ_BUILD_JOBS:-2}"

# The working corpus grows from run to run; the seeds are put back in every time so that a
# regression input removed from it is still replayed.
work=$build/corpus
artifacts=$build/artifacts
mkdir -p "$work" "$artifacts"
cp -f fuzz/corpus/* "$work"/
stamp=$build/.run-start
touch "$stamp"

supp=$root/fuzz/lsan.supp
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0:${LSAN_OPTIONS:-}"

log=$build/fuzz.log

# Every run adds its new inputs; once there are many, keep only those that add coverage.
if [ "$(find "$work" -type f | wc -l)" -gt 2000 ]; then
  rm -rf "$build/corpus.min"
  mkdir -p "$build/corpus.min"
  if "$build/fuzz_taskfile" -merge=1 -timeout=5 -rss_limit_mb=2048 "$build/corpus.min" "$work" >"$build/merge.log" 2>&1; then
    rm -rf "$work"
    mv "$build/corpus.min" "$work"
    cp -f fuzz/corpus/* "$work"/
  fi
fi

set +e
"$build/fuzz_taskfile" "$work" \
  -dict=fuzz/taskfile.dict \
  -max_total_time="$seconds" \
  -timeout=5 \
  -rss_limit_mb=2048 \
  -detect_leaks=1 \
  -artifact_prefix="$artifacts/" \
  -print_final_stats=1 \
  "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e

if [ "$status" -ne 0 ]; then
  echo >&2
  echo "fuzz.sh: the fuzzer stopped with status $status" >&2
  found=0
  while IFS= read -r f; do
    echo "fuzz.sh: failing input: $f" >&2
    found=1
  done < <(find "$artifacts" -type f -newer "$stamp" 2>/dev/null)
  if [ "$found" -eq 0 ]; then
    grep -E 'Test unit written to|artifact' "$log" >&2 || true
  fi
  echo "fuzz.sh: replay with: $build/fuzz_taskfile <input>" >&2
  exit 1
fi
echo "fuzz.sh: no failure in ${seconds} s"
