#!/usr/bin/env bash
# What the Windows build needs, installed when missing: Debian's mingw-w64
# cross compilers (the -posix ones) and tools, wine to run the build-time
# tools and the tests, NSIS and zip for the packages, Xvfb for a display;
# then SDL2, GLEW and GoogleTest cross-built as static libraries from
# Debian's own sources into BUILD_DIR/deps (once: a rebuild of the game
# never touches them).
#
#   scripts/win-deps.sh BUILD_DIR        (default build-win)
#
# BUILD_DIR/deps is an install prefix (include/, lib/, lib/cmake/) for
# cmake/mingw-w64.cmake's QO_WIN_DEPS; share/licenses/<library>/ holds the
# licence texts of the libraries, which the game's zip and installer carry.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${1:-build-win}
DEPS=$PWD/$OUT/deps
TOOLCHAIN=$PWD/cmake/mingw-w64.cmake
PACKAGES="g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 nsis zip xvfb xauth
python3-pil libgtest-dev dpkg-dev cmake make"

source scripts/apt.sh

install_missing $PACKAGES

# Built already: nothing to do. The stamp is written last, so a build that
# stopped half-way is done again.
STAMP=$DEPS/win-deps.stamp
[ -f "$STAMP" ] && exit 0

# Debian's sources of libsdl2 and glew need a deb-src line for the archive
# the binary packages come from.
use_deb_src libsdl2

src=$PWD/$OUT/deps-src
logs=$PWD/$OUT/deps-logs
rm -rf "$src" "$DEPS" && mkdir -p "$src" "$logs"
(cd "$src" && apt-get source -qq libsdl2 glew >"$logs/apt-source.log" 2>&1) ||
  { tail -20 "$logs/apt-source.log"; exit 1; }
source_tree() {
  local dir
  dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -1)
  [ -n "$dir" ] || { echo "apt-get source gave no source tree for $1" >&2; exit 1; }
  echo "$dir"
}

# cross_build NAME SOURCE_DIR [CMAKE_ARGS...]: configure, build and install
# one library into the prefix, its log kept in deps-logs/ and shown on failure.
cross_build() {
  local name=$1 dir=$2
  shift 2
  local log=$logs/$name.log
  echo "  $name"
  {
    cmake -S "$dir" -B "$src/build-$name" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
      -DQO_WIN_DEPS="$DEPS" -DCMAKE_INSTALL_PREFIX="$DEPS" -DCMAKE_BUILD_TYPE=Release "$@" &&
      cmake --build "$src/build-$name" -j "${JOBS:-2}" &&
      cmake --install "$src/build-$name"
  } >"$log" 2>&1 || { tail -30 "$log"; echo "Failed: $name (log: $log)" >&2; exit 1; }
}

start=$(date +%s)
echo "Building SDL2, GLEW and GoogleTest for Windows into $OUT/deps (a few minutes, once)"

sdl=$(source_tree libsdl2)
cross_build SDL2 "$sdl" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2MAIN=ON

glew=$(source_tree glew)
cross_build GLEW "$glew/build/cmake" -DBUILD_SHARED_LIBS=OFF -DBUILD_UTILS=OFF
mkdir -p "$DEPS/share/licenses/GLEW"
cp "$glew/LICENSE.txt" "$DEPS/share/licenses/GLEW/"

cross_build GoogleTest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON

rm -rf "$src"
date -u +"built %Y-%m-%d %H:%M UTC in $(($(date +%s) - start)) s" >"$STAMP"
echo "Windows dependencies: $OUT/deps ($(($(date +%s) - start)) s)"
