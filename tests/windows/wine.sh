#!/usr/bin/env bash
# Wine for the Windows build: quiet prefixes of its own under build-win/wine,
# and a virtual display when there is none.
#
#   wine.sh run EXE [ARGS...]     run a Windows program in the prefix (made on
#                                 first use); exits with the program's status.
#                                 This is the build's CMAKE_CROSSCOMPILING_EMULATOR:
#                                 build-time tools and tests run through it.
#   wine.sh init [PREFIX [USER]]  make a prefix once (wineboot -i); USER names
#                                 its user folder, C:\users\USER
#   wine.sh stop [PREFIX]         end the prefix's wineserver and its programs
#   wine.sh with-display CMD...   run CMD on $DISPLAY, or on an Xvfb started
#                                 for it and stopped by PID afterwards
#   wine.sh xvfb-start DIR        start Xvfb (screen kept as DIR/Xvfb_screen0),
#                                 print "DISPLAY=:N"; its PID is in DIR/xvfb.pid
#   wine.sh xvfb-stop DIR
#   wine.sh screenshot DIR OUT.png  the Xvfb screen of DIR as a PNG
#
# QO_WINEPREFIX chooses the prefix of `run` (default build-win/wine/default)
# and QO_WINE_USER the user it is made for (QO_WINE_USER=Jörg gives paths
# outside ASCII); the user's own WINEPREFIX is never touched.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${QO_WINE_ROOT:=$root/build-win/wine}"
: "${QO_WINEPREFIX:=$QO_WINE_ROOT/default}"
case $QO_WINEPREFIX in /*) ;; *) QO_WINEPREFIX=$PWD/$QO_WINEPREFIX ;; esac

# No debug channels, no Mono or Gecko installer prompt, no menu entries or
# file associations written into the build machine's desktop.
export WINEDEBUG=${QO_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine reads its command line, its environment (USER, the profile's name)
# and unix file names in the character set of the locale it starts in: a
# caller in the C locale (a fresh CI machine) would make "Jörg" "JC6rg".
case $(locale charmap 2>/dev/null) in UTF-8) ;; *) export LC_ALL=C.UTF-8 ;; esac
# Debian's wine script picks wine32 when installed; the game is 64-bit.
WINE=wine
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64 && export WINELOADER=$WINE

init_prefix() {
  local prefix=$1 user=${2:-}
  [ -f "$prefix/.qo-ready" ] && return 0
  mkdir -p "$(dirname "$prefix")"
  prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
  # Two tests may start at once: one makes the prefix, the other waits.
  exec 9>"$prefix.lock"
  flock 9
  # Now and then (once in about ten here) wineboot fails at once with "could
  # not load kernel32.dll" in a new folder; a second try has always worked.
  local log=$prefix.log
  for _ in 1 2; do
    [ -f "$prefix/.qo-ready" ] && break
    rm -rf "$prefix"
    if env WINEPREFIX="$prefix" ${user:+USER="$user"} wineboot -i >"$log" 2>&1 &&
      env WINEPREFIX="$prefix" wineserver -w >>"$log" 2>&1 &&
      [ -d "$prefix/drive_c/windows/system32" ]; then
      touch "$prefix/.qo-ready"
    else
      env WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    fi
  done
  if [ ! -f "$prefix/.qo-ready" ]; then
    tail -20 "$log" >&2
    echo "wine.sh: could not make the prefix $prefix" >&2
    exit 1
  fi
  flock -u 9
}

xvfb_start() {
  local dir=$1 n
  mkdir -p "$dir"
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x720x24 -fbdir "$dir" -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo "DISPLAY=:$n"; return 0; }
      kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "wine.sh: Xvfb did not start (log: $dir/xvfb.log)" >&2
  return 1
}

xvfb_stop() {
  local pid
  pid=$(cat "$1/xvfb.pid" 2>/dev/null) || return 0
  kill "$pid" 2>/dev/null && while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  rm -f "$1/xvfb.pid"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case $cmd in
  run)
    init_prefix "$QO_WINEPREFIX" "${QO_WINE_USER:-}"
    # Wine takes the profile's name from USER at every start, not only when
    # the prefix was made.
    [ -n "${QO_WINE_USER:-}" ] && export USER=$QO_WINE_USER
    WINEPREFIX=$QO_WINEPREFIX exec "$WINE" "$@"
    ;;
  init)
    init_prefix "${1:-$QO_WINEPREFIX}" "${2:-}"
    ;;
  stop)
    prefix=${1:-$QO_WINEPREFIX}
    if [ -d "$prefix" ]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; fi
    ;;
  with-display)
    if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi
    dir=$(mktemp -d /tmp/qo-xvfb.XXXXXX)
    trap 'xvfb_stop "$dir"; rm -rf "$dir"' EXIT
    export "$(xvfb_start "$dir")"
    status=0
    "$@" || status=$?
    exit $status
    ;;
  xvfb-start) xvfb_start "$1" ;;
  xvfb-stop) xvfb_stop "$1" ;;
  screenshot)
    /usr/bin/python3 "$here/xwd2png.py" "$1/Xvfb_screen0" "$2"
    ;;
  *)
    sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
