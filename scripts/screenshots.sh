#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the pictures in docs/screenshots/: the main window with a prepared task list, the
# task editor (F3) and the settings dialog (Ctrl+O). Builds the program when needed and runs
# it in a private X desktop (Xvfb, openbox, a tray), so nothing on the user's own desktop or
# in their task list is touched. BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
build_dir="${BUILD_DIR:-build}"
if [ ! -f "$build_dir/build.ninja" ] && [ ! -f "$build_dir/Makefile" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build_dir" --target listra -j"$(nproc)"
exec /usr/bin/python3 scripts/screenshots.py --binary "$build_dir/listra" --out docs/screenshots
