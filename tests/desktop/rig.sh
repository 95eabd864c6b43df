#!/usr/bin/env bash
# The real-desktop rig: display, window manager, sound and Wayland servers
# for the desktop tests, all in one private directory and stopped by PID.
#
#   rig.sh start [DIR]  start everything; prints the environment as shell
#                       exports (eval "$(rig.sh start)"); DIR defaults to a
#                       fresh temporary directory
#   rig.sh env [DIR]    print the exports of a running rig again
#   rig.sh stop [DIR]   stop every server of the rig by PID, remove DIR
#   rig.sh restart-pulse [DIR]
#                       stop PulseAudio as a crash would (SIGKILL) and start
#                       it again, as a desktop's sound server restarts
#
# DIR may also come from QO_RIG_DIR. What runs:
#   Xorg (dummy driver) with 1920x1080@60 (the desktop), 1280x720@60 and
#     1280x720@75, openbox on it                      QO_RIG_DISPLAY
#   Xorg (dummy driver) whose only 1280x720 mode is 75 Hz   QO_RIG_DISPLAY75
#   Xvfb 1920x1080, the plain virtual screen          QO_RIG_XVFB
#   PulseAudio with a null sink "rig" as the default, its monitor
#     "rig.monitor" recordable                        PULSE_SERVER
#   PipeWire (with WirePlumber, pipewire-pulse and a D-Bus session bus of
#     its own) with the same null sink, for its own clients and for
#     PulseAudio ones               QO_RIG_PIPEWIRE_RUNTIME, _PULSE, _BUS
#   weston, X11 backend inside the Xvfb screen, so that input sent there
#     with xdotool (after windowfocus on weston's window) reaches Wayland
#     clients                                         QO_RIG_WAYLAND_INPUT
#     (weston's pointer follows the X pointer's moves, not its place; a
#     sweep to the output's far corner and back to 0,0 lines them up)
#   weston with Xwayland, its 1920x1080 output a window on an Xvfb screen of
#     its own (where its input goes): the X server of most Wayland
#     desktops, whose modes are emulated for each program
#                         QO_RIG_XWAYLAND (X display), QO_RIG_XWAYLAND_HOST
# weston's headless backend is no use here: it offers no seat, SDL 2.26
# crashes in SDL_Init without one, and it has no way to take input.
# Works as root (as CI runs) and as an ordinary user.
set -u

die() {
    echo "rig: $*" >&2
    exit 1
}

rig_dir() {
    local dir="${1:-${QO_RIG_DIR:-}}"
    [ -n "$dir" ] || die "no rig directory (argument or QO_RIG_DIR)"
    echo "$dir"
}

# Waits until file $1 is non-empty, at most $2 tenths of a second.
wait_file() {
    local i
    for ((i = 0; i < $2; i++)); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# Waits until path $1 exists (a socket), at most $2 tenths of a second.
wait_path() {
    local i
    for ((i = 0; i < $2; i++)); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

remember() { echo "$1 $2" >>"$DIR/pids"; }

# Modelines as cvt computes them (names say size and rate).
MODE_1080_60='Modeline "1920x1080_60" 173.00 1920 2048 2248 2576 1080 1083 1088 1120 -hsync +vsync'
MODE_720_60='Modeline "1280x720_60" 74.50 1280 1344 1472 1664 720 723 728 748 -hsync +vsync'
MODE_720_75='Modeline "1280x720_75" 95.75 1280 1360 1488 1696 720 723 728 755 -hsync +vsync'

# xorg.conf for the dummy driver; $1 = file, $2 = the line-frequency ranges
# (kHz) to offer, $3... = mode names (the first is the start-up mode). The
# driver adds its own standard modes wherever the monitor's ranges allow;
# ranges that fit our modes alone keep the list to them.
write_xorg_conf() {
    local file=$1 hsync=$2
    shift 2
    local names="" m
    for m in "$@"; do names="$names \"$m\""; done
    cat >"$file" <<EOF
Section "ServerFlags"
    Option "DontVTSwitch" "true"
    Option "AllowMouseOpenFail" "true"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 64000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync $hsync
    VertRefresh 59.8 - 60.0, 74.7 - 74.9
    $MODE_1080_60
    $MODE_720_60
    $MODE_720_75
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes $names
        Virtual 1920 1080
    EndSubSection
EndSection
EOF
}

# Starts an X server whose display number it reports itself; $1 = name,
# the rest the command line (without -displayfd). Sets DISPLAY_OF_LAST.
start_x() {
    local name=$1
    shift
    rm -f "$DIR/$name.display"
    "$@" -displayfd 3 3>"$DIR/$name.display" >"$DIR/$name.log" 2>&1 &
    remember "$name" $!
    wait_file "$DIR/$name.display" 150 || die "$name did not start (see $DIR/$name.log)"
    DISPLAY_OF_LAST=":$(head -n1 "$DIR/$name.display" | tr -d ' \n')"
}

# PulseAudio on the rig's null sink; returns once it answers.
start_pulse() {
    local root_flag="" i
    [ "$(id -u)" = 0 ] && root_flag="--system=false"
    rm -f "$DIR/run/pulse-native"
    # shellcheck disable=SC2086
    XDG_RUNTIME_DIR="$DIR/run" HOME="$DIR/home" XDG_CONFIG_HOME="$DIR/config" \
        pulseaudio -n $root_flag --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --use-pid-file=no --log-target=stderr -F "$DIR/pulse.pa" >>"$DIR/pulse.log" 2>&1 &
    remember pulseaudio $!
    wait_path "$DIR/run/pulse-native" 150 || die "pulseaudio did not start (see $DIR/pulse.log)"
    for ((i = 0; i < 50; i++)); do
        PULSE_SERVER="unix:$DIR/run/pulse-native" pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    die "pulseaudio does not answer (see $DIR/pulse.log)"
}

restart_pulse() {
    DIR=$(rig_dir "${1:-}")
    local name pid i
    while read -r name pid; do
        [ "$name" = pulseaudio ] || continue
        kill -9 "$pid" 2>/dev/null
        for ((i = 0; i < 100; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
    done <"$DIR/pids"
    grep -v '^pulseaudio ' "$DIR/pids" >"$DIR/pids.new"
    mv "$DIR/pids.new" "$DIR/pids"
    start_pulse
}

start() {
    command -v Xorg >/dev/null || die "Xorg missing (xserver-xorg-core)"
    if [ -n "${1:-${QO_RIG_DIR:-}}" ]; then
        DIR=$(rig_dir "${1:-}")
        mkdir -p "$DIR"
    else
        DIR=$(mktemp -d /tmp/qo-rig.XXXXXX)
    fi
    DIR=$(cd "$DIR" && pwd)
    : >"$DIR/pids"
    mkdir -p "$DIR/run" "$DIR/home" "$DIR/config/pulse"
    chmod 700 "$DIR/run"
    export XDG_RUNTIME_DIR="$DIR/run" HOME="$DIR/home" XDG_CONFIG_HOME="$DIR/config"

    # --- X servers
    # Line frequencies: 1920x1080_60 67.16 kHz, 1280x720_60 44.77, 1280x720_75 56.46.
    write_xorg_conf "$DIR/xorg.conf" "67.1-67.2, 44.7-44.8, 56.4-56.5" \
        1920x1080_60 1280x720_60 1280x720_75
    write_xorg_conf "$DIR/xorg75.conf" "67.1-67.2, 56.4-56.5" 1920x1080_60 1280x720_75
    local xorg_args="-noreset -nolisten tcp -novtswitch -sharevts"
    # shellcheck disable=SC2086
    start_x xorg Xorg $xorg_args -config "$DIR/xorg.conf" -logfile "$DIR/xorg.Xlog"
    local display=$DISPLAY_OF_LAST
    # shellcheck disable=SC2086
    start_x xorg75 Xorg $xorg_args -config "$DIR/xorg75.conf" -logfile "$DIR/xorg75.Xlog"
    local display75=$DISPLAY_OF_LAST
    start_x xvfb Xvfb -screen 0 1920x1080x24 -nolisten tcp -noreset
    local xvfb=$DISPLAY_OF_LAST
    # The dummy driver starts at the first mode of the list; make sure the
    # desktop mode is the current one.
    DISPLAY=$display xrandr --output DUMMY0 --mode 1920x1080_60 >/dev/null 2>&1
    DISPLAY=$display75 xrandr --output DUMMY0 --mode 1920x1080_60 >/dev/null 2>&1

    # --- openbox
    DISPLAY=$display openbox --sm-disable >"$DIR/openbox.log" 2>&1 &
    remember openbox $!
    local i
    for ((i = 0; i < 100; i++)); do
        DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    [ "$i" -lt 100 ] || die "openbox did not start (see $DIR/openbox.log)"

    # --- PulseAudio: one null sink at the game's rate, small fragments
    cat >"$DIR/config/pulse/daemon.conf" <<EOF
exit-idle-time = -1
default-sample-rate = 44100
alternate-sample-rate = 44100
default-fragments = 2
default-fragment-size-msec = 5
flat-volumes = no
realtime-scheduling = no
EOF
    cat >"$DIR/pulse.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$DIR/run/pulse-native
load-module module-null-sink sink_name=rig rate=44100 channels=2 sink_properties=device.description=rig
set-default-sink rig
EOF
    start_pulse
    local pulse="unix:$DIR/run/pulse-native"

    # --- PipeWire: its own runtime folder and session bus, so that the
    # PulseAudio clients above never find it; the null sink at the rate
    # of a desktop's PipeWire, which resamples the game's 44.1 kHz.
    local pw_run="$DIR/pw" bus="unix:path=$DIR/pw/bus" pw_pulse="unix:$DIR/pw/pulse/native"
    mkdir -p "$pw_run" "$DIR/config/pipewire/pipewire.conf.d"
    chmod 700 "$pw_run"
    cat >"$DIR/config/pipewire/pipewire.conf.d/rig.conf" <<EOF
context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = "rig"
               media.class = Audio/Sink audio.position = [ FL FR ]
               monitor.channel-volumes = true object.linger = true } }
]
EOF
    dbus-daemon --session --nofork --address="$bus" >"$DIR/dbus.log" 2>&1 &
    remember dbus $!
    wait_path "$pw_run/bus" 150 || die "dbus-daemon did not start (see $DIR/dbus.log)"
    # $1 = the server, $2 = the socket it makes in its runtime folder, if any.
    start_pw() {
        XDG_RUNTIME_DIR=$pw_run DBUS_SESSION_BUS_ADDRESS=$bus "$1" >"$DIR/$1.log" 2>&1 &
        remember "$1" $!
        [ -z "$2" ] || wait_path "$pw_run/$2" 150 || die "$1 did not start (see $DIR/$1.log)"
    }
    start_pw pipewire pipewire-0
    start_pw wireplumber ""
    start_pw pipewire-pulse pulse/native
    for ((i = 0; i < 100; i++)); do
        PULSE_SERVER=$pw_pulse pactl list short sinks 2>/dev/null | grep -q rig &&
            PULSE_SERVER=$pw_pulse pactl set-default-sink rig >/dev/null 2>&1 && break
        sleep 0.1
    done
    [ "$i" -lt 100 ] || die "PipeWire's sink did not come up (see $DIR/wireplumber.log)"

    # --- weston inside the Xvfb screen
    DISPLAY=$xvfb weston --backend=x11-backend.so --socket=qo-wayland-input --width=1280 \
        --height=720 --idle-time=0 --log="$DIR/weston-input.log" >"$DIR/weston-input.out" 2>&1 &
    remember weston-input $!
    wait_path "$DIR/run/qo-wayland-input" 150 || die "weston (x11) did not start (see $DIR/weston-input.log)"

    # --- weston with Xwayland on a screen of its own; Xwayland starts when
    # its first program connects, at the display weston names in its log
    start_x xvfb-xwayland Xvfb -screen 0 1920x1080x24 -nolisten tcp -noreset
    local xwayland_host=$DISPLAY_OF_LAST
    DISPLAY=$xwayland_host weston --backend=x11-backend.so --socket=qo-xwayland --width=1920 \
        --height=1080 --idle-time=0 --xwayland --log="$DIR/weston-xwayland.log" \
        >"$DIR/weston-xwayland.out" 2>&1 &
    remember weston-xwayland $!
    local xwayland=""
    for ((i = 0; i < 150; i++)); do
        xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' \
            "$DIR/weston-xwayland.log" 2>/dev/null)
        [ -n "$xwayland" ] && break
        sleep 0.1
    done
    [ -n "$xwayland" ] || die "weston (xwayland) did not start (see $DIR/weston-xwayland.log)"

    cat >"$DIR/rig.env" <<EOF
export QO_RIG_DIR='$DIR'
export XDG_RUNTIME_DIR='$DIR/run'
export DISPLAY='$display'
export QO_RIG_DISPLAY='$display'
export QO_RIG_DISPLAY75='$display75'
export QO_RIG_XVFB='$xvfb'
export PULSE_SERVER='$pulse'
export QO_RIG_WAYLAND_INPUT='qo-wayland-input'
export QO_RIG_XWAYLAND='$xwayland'
export QO_RIG_XWAYLAND_HOST='$xwayland_host'
export QO_RIG_PIPEWIRE_RUNTIME='$pw_run'
export QO_RIG_PIPEWIRE_PULSE='$pw_pulse'
export QO_RIG_PIPEWIRE_BUS='$bus'
EOF
    cat "$DIR/rig.env"
}

stop() {
    local dir
    dir=$(rig_dir "${1:-}")
    [ -f "$dir/pids" ] || die "no rig in $dir"
    local name pid
    # Newest first: clients of a server go before the server.
    tac "$dir/pids" | while read -r name pid; do
        kill "$pid" 2>/dev/null
    done
    for ((i = 0; i < 50; i++)); do
        local alive=0
        while read -r name pid; do
            kill -0 "$pid" 2>/dev/null && alive=1
        done <"$dir/pids"
        [ $alive = 0 ] && break
        sleep 0.1
    done
    while read -r name pid; do
        kill -9 "$pid" 2>/dev/null && echo "rig: $name ($pid) killed" >&2
    done <"$dir/pids"
    rm -rf "$dir"
}

case "${1:-}" in
    start) start "${2:-}" ;;
    env) cat "$(rig_dir "${2:-}")/rig.env" ;;
    stop) stop "${2:-}" ;;
    restart-pulse) restart_pulse "${2:-}" ;;
    *) die "usage: rig.sh start|env|stop|restart-pulse [DIR]" ;;
esac
