#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a tracked C++ source or header does not match .clang-format.
#   scripts/check-format.sh          check every tracked *.cpp and *.h
#   scripts/check-format.sh --fix    rewrite them in place instead
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format-14 || true)
if [ -z "$format" ]; then
  echo "check-format.sh: clang-format-14 is missing (scripts/install-deps.sh --tests installs it)" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format.sh: no sources tracked" >&2
  exit 2
fi

if [ "${1:-}" = "--fix" ]; then
  "$format" -i --style=file "${files[@]}"
  exit 0
fi

# One pass per file, so that every offender is named, not just the first.
bad=()
for f in "${files[@]}"; do
  if ! "$format" --dry-run --Werror --style=file "$f" >/dev/null 2>&1; then
    bad+=("$f")
  fi
done
if [ ${#bad[@]} -ne 0 ]; then
  printf 'check-format.sh: not formatted: %s\n' "${bad[@]}" >&2
  echo "check-format.sh: ${#bad[@]} of ${#files[@]} files differ from .clang-format (scripts/check-format.sh --fix rewrites them)" >&2
  exit 1
fi
echo "check-format.sh: ${#files[@]} files formatted"
