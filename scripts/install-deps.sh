#!/usr/bin/env bash
# Installs what building, running and testing tavelkombrix needs on Debian 12.
# Only missing packages are installed, so a prepared machine returns at once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev libegl-dev libxkbcommon-dev
  qcoro-qt6-dev nlohmann-json3-dev libsqlite3-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libx264-dev libx265-dev
  libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-composite0-dev libxcb-xfixes0-dev
  libxcb-xinput-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-image0-dev libxcb-xtest0-dev
  libxcb-shape0-dev libxcb-render0-dev libxcb-render-util0-dev libxcb-keysyms1-dev libxcb-util-dev
  libpulse-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth dbus-daemon openbox trayer pulseaudio pulseaudio-utils xdotool wmctrl x11-xserver-utils x11-utils
  ffmpeg procps time
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
