#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds a release build into build/ and starts build/listra.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only the program: the tests need tools (and a Markdown reader) that only the test command installs.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DLISTRA_BUILD_TESTS=OFF
cmake --build build --target listra -j"$(nproc)"
exec build/listra "$@"
