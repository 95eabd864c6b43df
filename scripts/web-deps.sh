#!/usr/bin/env bash
# What the browser build needs, installed when missing: Debian's emscripten
# (with its node and acorn), Chromium and Python's websocket client for the
# browser tests, zip, and SDL2 built for the web from Debian's own source of
# libsdl2 into build-web/sdl2 (once: a rebuild of the game never touches it).
#
#   scripts/web-deps.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${1:-build-web}
PACKAGES="emscripten node-acorn chromium python3-websocket python3-pil zip dpkg-dev cmake make"

source scripts/apt.sh

install_missing $PACKAGES

# emscripten's tools want Debian's python3 and node modules, whatever else
# comes first on the PATH.
source scripts/web-env.sh

SDL_LIB=$OUT/sdl2/lib/libSDL2.a
[ -f "$SDL_LIB" ] && exit 0

# Debian's source of libsdl2 needs a deb-src line for the archive the
# binary packages come from.
use_deb_src libsdl2

src=$OUT/sdl2-src
rm -rf "$src" && mkdir -p "$src"
(cd "$src" && apt-get source -qq libsdl2 >/dev/null)
dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'libsdl2-*' | head -1)
[ -n "$dir" ] || { echo "apt-get source libsdl2 gave no source tree" >&2; exit 1; }

echo "Building SDL2 for the web from $dir (a few minutes, once)"
emcmake cmake -S "$dir" -B "$OUT/sdl2-build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PWD/$OUT/sdl2" -DSDL_SHARED=OFF -DSDL_STATIC=ON \
  -DSDL_TEST=OFF -DSDL_THREADS=OFF -DSDL_PTHREADS=OFF >"$OUT/sdl2-configure.log" 2>&1 ||
  { tail -30 "$OUT/sdl2-configure.log"; exit 1; }
cmake --build "$OUT/sdl2-build" -j "${JOBS:-2}" >"$OUT/sdl2-build.log" 2>&1 ||
  { tail -30 "$OUT/sdl2-build.log"; exit 1; }
cmake --install "$OUT/sdl2-build" >/dev/null
rm -rf "$src" "$OUT/sdl2-build"
echo "SDL2 for the web: $OUT/sdl2"
