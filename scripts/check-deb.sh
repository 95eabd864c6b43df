#!/usr/bin/env bash
# Installs the .deb that `make deb` built and checks it like a player would:
# the installed qostarfold starts from a folder without a resource image
# (under Xvfb, with openbox as window manager), its window comes up, it
# exits 0 when the window is closed and when the player quits, and its
# highscores land in the user's data folder, not in the working directory.
# Then the installed desktop entry and metainfo are validated, lintian runs
# on the .deb, and the package is removed again.
#
# Run as root or with sudo. Inside Xvfb: scripts/check-deb.sh --inside.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
    shopt -s nullglob
    debs=(build/qostarfold_*.deb)
    [ ${#debs[@]} -eq 1 ] || { echo "check-deb: expected one build/qostarfold_*.deb (make deb)"; exit 1; }
    deb=${debs[0]}
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    echo "== lintian $deb"
    lintian --fail-on error,warning "$deb"
    echo "== install"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
    trap '$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq qostarfold >/dev/null' EXIT
    echo "== validate the installed desktop entry and metainfo"
    desktop-file-validate /usr/share/applications/com.quillmoth.qostarfold.desktop
    appstreamcli validate --no-net /usr/share/metainfo/com.quillmoth.qostarfold.metainfo.xml
    echo "== run the installed game"
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$0" --inside
    trap - EXIT
    echo "== remove"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq qostarfold >/dev/null
    if [ -e /usr/games/qostarfold ] || [ -e /usr/share/games/qostarfold ]; then
        echo "check-deb: files left after removal"; exit 1
    fi
    echo "check-deb: all good"
    exit 0
fi

# ---- inside Xvfb ----
tmp=$(mktemp -d)
openbox >/dev/null 2>&1 &
wm=$!
game=""
cleanup() {
    [ -n "$game" ] && kill "$game" 2>/dev/null || true
    kill "$wm" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "check-deb: $*"; [ -f "$tmp/log" ] && tail -20 "$tmp/log"; exit 1; }

# Starts the installed game in $tmp/play with the given environment and
# waits for its window; leaves the pid in $game and the window in $window.
start_game() {
    mkdir -p "$tmp/play"
    (cd "$tmp/play" && exec env "$@" /usr/games/qostarfold >"$tmp/log" 2>&1) &
    game=$!
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --pid "$game" 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        kill -0 "$game" 2>/dev/null || fail "the game ended before its window came up"
        sleep 0.2
    done
    [ -n "$window" ] || fail "no window within 20 s"
    sleep 1
}

# Waits up to 20 s for the game to end; fails unless its status is 0.
expect_exit_zero() {
    for _ in $(seq 100); do
        kill -0 "$game" 2>/dev/null || break
        sleep 0.2
    done
    kill -0 "$game" 2>/dev/null && fail "the game did not end"
    local rc=0
    wait "$game" || rc=$?
    game=""
    [ "$rc" -eq 0 ] || fail "exit status $rc"
}

# 1. Default data folder (~/.local/share), window closed by the window manager.
start_game HOME="$tmp/home" XDG_DATA_HOME=
grep -q "^- Saves in $tmp/home/.local/share/qostarfold/" "$tmp/log" || fail "saves not in ~/.local/share/qostarfold"
grep -q "Loading resource image: /usr/share/games/qostarfold/qostarfold.dat" "$tmp/log" || fail "image not taken from /usr/share/games/qostarfold"
xdotool windowactivate --sync "$window" key alt+F4
expect_exit_zero
echo "window closed: exit 0"

# 2. $XDG_DATA_HOME, the player quits with Escape: the highscores are saved there.
start_game HOME="$tmp/home" XDG_DATA_HOME="$tmp/xdg"
xdotool windowactivate --sync "$window"
for _ in $(seq 40); do
    kill -0 "$game" 2>/dev/null || break
    xdotool key Escape
    sleep 0.5
done
expect_exit_zero
size=$(stat -c %s "$tmp/xdg/qostarfold/highscore.dat" 2>/dev/null || echo 0)
[ "$size" -eq 2116 ] || fail "no highscore.dat of 2116 bytes in \$XDG_DATA_HOME/qostarfold"
[ ! -e "$tmp/play/highscore.dat" ] || fail "highscore.dat written into the working directory"
echo "quit with Escape: exit 0, highscores in \$XDG_DATA_HOME/qostarfold/highscore.dat"
