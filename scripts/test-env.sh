#!/usr/bin/env bash
# Runs a command inside a private desktop: its own Xvfb (display number chosen by the server),
# the openbox window manager, a private session bus, a private PulseAudio with a null sink and a
# sine source, and a tray host. Only what this script started is stopped, by pid, also when the
# command fails.
#
#   scripts/test-env.sh COMMAND [ARGS...]
#
# The command sees DISPLAY, DBUS_SESSION_BUS_ADDRESS, PULSE_SERVER, XDG_RUNTIME_DIR and
# TK_TEST_ENV=1, and TK_TEST_SINK / TK_TEST_SOURCE naming the null sink and the sine source. HOME
# and the XDG configuration, data and cache folders are fresh and private too, so settings written
# by one command never reach another. Starting all this takes about half a second, so the test suite
# starts one private desktop per desktop test and runs many at once (tests/CMakeLists.txt).
set -euo pipefail

if (($# == 0)); then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

workdir=$(mktemp -d /tmp/tk-testenv.XXXXXX)
pids=()

cleanup() {
  local status=$?
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    kill -9 "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$workdir"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_for() {  # wait_for SECONDS DESCRIPTION COMMAND...
  local limit=$1 what=$2
  shift 2
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    if ((SECONDS >= deadline)); then
      echo "test-env: $what did not come up" >&2
      return 1
    fi
    sleep 0.1
  done
}

# X server: the display number is whatever free one Xvfb picks and reports on fd 3.
: >"$workdir/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset +extension COMPOSITE \
  +extension RANDR +extension XFIXES +extension XInputExtension +extension MIT-SHM \
  3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
pids+=($!)
wait_for 60 "Xvfb" test -s "$workdir/display"
export DISPLAY=":$(head -n1 "$workdir/display")"
wait_for 60 "the X display $DISPLAY" xdpyinfo

# Window manager. Tests press buttons and turn the wheel over the bare root window: there the
# stock configuration opens menus that grab the pointer and keyboard, and switches desktops, which
# would outlive the test that clicked. One desktop, and no bindings on the root.
openbox_config=()
if [[ -f /etc/xdg/openbox/rc.xml ]]; then
  sed -e '/<context name="Desktop">/,/<\/context>/d' -e '/<context name="Root">/,/<\/context>/d' \
    -e 's|<number>[0-9]*</number>|<number>1</number>|' /etc/xdg/openbox/rc.xml >"$workdir/openbox.xml"
  openbox_config=(--config-file "$workdir/openbox.xml")
fi
openbox --sm-disable "${openbox_config[@]}" >"$workdir/openbox.log" 2>&1 &
pids+=($!)
wait_for 60 "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -p "$XDG_RUNTIME_DIR/pulse" "$workdir/home"
chmod 700 "$XDG_RUNTIME_DIR"

# Session bus. Without one, each Qt program's first session-bus call (the accessibility bridge,
# as its first widget gets a name) spawns a launcher from a threaded process, which can hang it
# for good. No service folders: nothing of this machine's is started on demand.
cat >"$workdir/session-bus.conf" <<BUS
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$XDG_RUNTIME_DIR/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
BUS
dbus-daemon --config-file="$workdir/session-bus.conf" --nofork --nopidfile >"$workdir/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
wait_for 60 "the session bus" dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId

# Sound server, on its own runtime folder and socket.
socket="$XDG_RUNTIME_DIR/pulse/native"
cat >"$workdir/pulse.pa" <<PA
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
load-module module-null-sink sink_name=tk_null_sink rate=48000 channels=2 sink_properties=device.description=TestSink
load-module module-sine-source source_name=tk_sine_source frequency=440 rate=48000
set-default-sink tk_null_sink
set-default-source tk_sine_source
PA
printf 'autospawn = no\n' >"$workdir/client.conf"
export PULSE_CLIENTCONFIG="$workdir/client.conf"
export PULSE_SERVER="unix:$socket"
HOME="$workdir/home" PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse" \
  pulseaudio -n -F "$workdir/pulse.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disable-shm=yes --log-target=stderr >"$workdir/pulse.log" 2>&1 &
pids+=($!)
if ! wait_for 60 "PulseAudio" pactl info; then
  cat "$workdir/pulse.log" >&2
  exit 1
fi

# Tray host for the status item.
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  >"$workdir/trayer.log" 2>&1 &
pids+=($!)
wait_for 60 "the tray host" sh -c "xprop -root _NET_SUPPORTED >/dev/null && xwininfo -root -tree | grep -qi trayer"

export TK_TEST_ENV=1 TK_TEST_SINK=tk_null_sink TK_TEST_SOURCE=tk_sine_source
export HOME="$workdir/home" XDG_CONFIG_HOME="$workdir/home/.config" XDG_DATA_HOME="$workdir/home/.local/share"
export XDG_CACHE_HOME="$workdir/home/.cache"
# Sanitizer builds run here too: the leaks of the system libraries we know of are not ours.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0}"
# On stderr: the test suite lists a program's tests through this script and reads its stdout.
echo "test-env: DISPLAY=$DISPLAY PULSE_SERVER=$PULSE_SERVER" >&2
"$@"
