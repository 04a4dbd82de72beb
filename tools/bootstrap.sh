#!/usr/bin/env bash
# Installs what Harmonyfox needs on Debian 12, configures and builds it, then
# either starts the program ("run") or runs the whole test suite ("test").
# Safe to run again: packages already present are not fetched twice.
set -euo pipefail

mode=${1:-run}
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev qt6-wayland xdg-utils
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake --preset default
cmake --build --preset default

case "$mode" in
  run)
    if [ -x build/bin/harmonyfox ]; then
      if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "Built into build/bin. No display was found: start build/bin/harmonyfox" \
             "from a desktop session (or under xvfb-run)." >&2
        exit 1
      fi
      exec build/bin/harmonyfox
    fi
    echo "Built into build/bin."
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    ctest --preset default --timeout 900 -j 2
    ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
