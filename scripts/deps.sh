#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are
# missing: directly as root, through sudo where it works, otherwise prints
# the command to run and fails.
set -u
PACKAGES="cmake make g++ clang pkg-config libsdl2-dev libglew-dev libgl-dev libgl1-mesa-dri
libgtest-dev libstb-dev libx11-dev xvfb xauth"

missing=""
for p in $PACKAGES; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing missing packages:$missing"
if [ "$(id -u)" = 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing && exit 0
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing && exit 0
fi
echo "Could not install the packages. Run:"
echo "  sudo apt-get update && sudo apt-get install -y$missing"
exit 1
