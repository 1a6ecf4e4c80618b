#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what building and running Listra needs on Debian 12; with --tests also the tools of
# the test suite, the screenshots and the checks. Does nothing when everything is already
# there. Runs apt as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n qt6-qpa-plugins
  libpugixml-dev libgl-dev libfontconfig-dev
  # The Debian package of the README: cpack reads the program's libraries with it.
  file
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    xvfb xauth
    # The test that reads the Markdown export back.
    libmd4c-dev
    # Fuzzing, the sanitizer run and the format check.
    clang libclang-rt-14-dev llvm-14 clang-format-14
    # The end-to-end tests and the screenshots: a private desktop with a window manager, a
    # tray, the accessibility bus, key presses and screen capture.
    openbox trayer xdotool x11-utils x11-xkb-utils dbus dbus-daemon at-spi2-core
    python3 python3-gi gir1.2-atspi-2.0 imagemagick fonts-dejavu-core
    # The start measured from outside watches the screen through the X damage extension.
    libxdamage1
  )
elif [ $# -ne 0 ]; then
  echo "usage: $0 [--tests]" >&2
  exit 2
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
