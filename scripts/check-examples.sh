#!/usr/bin/env bash
# Builds the examples as another project would, from a copy outside this
# tree: once with the engine's sources through add_subdirectory, once
# against the engine installed into a prefix (find_package(cgl)). Builds the
# whole project with BUILD_TESTING=OFF. Then runs the sprite example under
# Xvfb until a frame on the screen shows its sprite.
#
# The installed engine comes from build/ when it is configured, otherwise
# from an engine-only build of its own. Everything else goes to a temporary
# folder (CHECK_DIR to choose it), which is removed on success.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

# True when the Xvfb screen (an XWD file: header, colour table, then 32-bit
# pixels) shows at least 50 pixels of the sprite's gold.
sprite_shows() {
  be32() { od -An -tu1 -j "$2" -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }
  local offset gold
  offset=$(($(be32 "$1" 0) + $(be32 "$1" 76) * 12))
  gold=$(od -An -v -tx4 -w4 -j "$offset" "$1" | grep -Ec '^ *[0-9a-f]{2}ffc020$' || true)
  echo "$gold pixels of its colour"
  [ "$gold" -ge 50 ]
}

# Inside the X server: start the example, watch the screen, stop it by PID.
# It runs under another name and from another folder, as a player may start
# it: the engine finds sprite.dat beside the executable by the name the
# program mounts, and neither moves the working directory nor makes a save
# folder the program never asked for.
if [ "${1:-}" = "--watch" ]; then
  bindir=$2 screen=$3/Xvfb_screen0 elsewhere=$3/elsewhere
  cp "$bindir/sprite" "$bindir/renamed-sprite"
  mkdir -p "$elsewhere/home"
  cd "$elsewhere"
  HOME=$elsewhere/home XDG_DATA_HOME= "$bindir/renamed-sprite" >sprite.log 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    sleep 0.2
    kill -0 "$pid" 2>/dev/null || break
    cwd=$(readlink "/proc/$pid/cwd" || true)
    if [ -n "$cwd" ] && [ "$cwd" != "$elsewhere" ]; then
      echo "the engine moved the working directory to $cwd"
      kill "$pid"
      exit 1
    fi
    if shown=$(sprite_shows "$screen"); then
      echo "sprite on screen: $shown, working directory kept"
      kill "$pid"
      wait "$pid" 2>/dev/null || true
      if [ -e "$elsewhere/home/.local" ]; then
        echo "a folder was made in the user's data folder"
        exit 1
      fi
      exit 0
    fi
  done
  kill "$pid" 2>/dev/null || true
  echo "no frame showed the sprite; its output:"
  cat sprite.log
  exit 1
fi

work=${CHECK_DIR:-$(mktemp -d /tmp/cgl-examples.XXXXXX)}
mkdir -p "$work"
rm -rf "$work/consumer"
cp -r "$root/examples" "$work/consumer"

echo "== examples through add_subdirectory"
cmake -S "$work/consumer" -B "$work/sub" -DCGL_SOURCE_DIR="$root" >/dev/null
cmake --build "$work/sub" -j "$jobs"

echo "== examples against an installed engine"
engine=$root/build
if [ ! -f "$engine/CMakeCache.txt" ]; then
  engine=$work/engine
  cmake -S "$root" -B "$engine" -DQO_BUILD_GAME=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$engine" -j "$jobs" --target engine engine_main corepack
cmake --install "$engine" --component dev --prefix "$work/prefix" >/dev/null
cmake -S "$work/consumer" -B "$work/pkg" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/pkg" -j "$jobs"

# The whole project as packagers and consumers configure it: without the
# tests, the game, tools and benchmarks must still build.
echo "== the project with BUILD_TESTING=OFF"
cmake -S "$root" -B "$work/notests" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/notests" -j "$jobs"

echo "== sprite example under Xvfb"
mkdir -p "$work/screen"
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 800x600x24 -noreset -fbdir $work/screen" \
  "$0" --watch "$work/pkg" "$work/screen"
# For Windows, once `make windows` has built the libraries: the examples
# cross-built through add_subdirectory, and the sprite example under wine
# on an Xvfb of its own until its sprite shows.
windeps=$root/build-win/deps
if [ -d "$windeps/lib" ]; then
  echo "== examples for Windows through add_subdirectory"
  cmake -S "$work/consumer" -B "$work/win" -DCGL_SOURCE_DIR="$root" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQO_WIN_DEPS="$windeps" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/tests/windows/wine.sh;run" >/dev/null
  cmake --build "$work/win" -j "$jobs"
  echo "== sprite example under wine"
  wine=$root/tests/windows/wine.sh
  mkdir -p "$work/winscreen"
  export "$("$wine" xvfb-start "$work/winscreen")"
  (cd "$work/win" && SDL_AUDIODRIVER=dummy exec "$wine" run sprite.exe) >"$work/win/sprite.log" 2>&1 &
  pid=$! shown=
  for _ in $(seq 150); do
    sleep 0.2
    shown=$(sprite_shows "$work/winscreen/Xvfb_screen0") && break
    shown=
  done
  kill "$pid" 2>/dev/null || true
  "$wine" stop
  "$wine" xvfb-stop "$work/winscreen"
  [ -n "$shown" ] || { echo "no frame showed the sprite under wine"; exit 1; }
  echo "sprite on screen under wine: $shown"
fi

[ -z "${CHECK_DIR:-}" ] && rm -rf "$work"
echo "examples: all good"
