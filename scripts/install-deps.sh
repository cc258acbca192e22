#!/usr/bin/env bash
# Installs the Debian packages that building and testing proj2wav need; with the
# argument "web", those of the browser edition instead (Emscripten; for its tests
# Chromium, Firefox ESR, and WebKitGTK with its WebDriver, GJS to run the tests'
# WebKitGTK browser and a virtual X server for it; Node.js with npm unless the
# machine has them already).
# Runs apt-get update only when something is missing; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev
  libcli11-dev nlohmann-json3-dev
  libsndfile1-dev sndfile-programs sox ffmpeg mediainfo
  strace  # shows the tests that outputs are put on the disk (fsync)
  time vmtouch  # in bench/: /usr/bin/time for peak memory, vmtouch for a cold page cache
  qt6-base-dev xvfb xauth
  # the Debian package and its checks
  help2man dpkg-dev file lintian appstream desktop-file-utils man-db
  # Ardour 7, whose ardour7-lua loads and exports the sessions `proj2wav session`
  # writes (tests only: about 110 MB and half a minute to install)
  ardour
)

if [ "${1:-}" = web ]; then
  packages=(emscripten chromium firefox-esr webkit2gtk-driver gjs gir1.2-webkit2-4.1 xvfb xauth)
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
