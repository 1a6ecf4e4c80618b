#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs the whole test suite
# headless with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DLISTRA_WARNINGS_AS_ERRORS=ON
cmake --build build -j"$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$(nproc)"
