#!/usr/bin/env bash
# Installs what Harmonyfox needs on Debian 12, configures and builds it, then
# either starts the program ("run") or runs the whole test suite ("test").
# "package" builds the Debian package build/harmonyfox_VERSION_amd64.deb and
# checks it with lintian, and the menu entry and the AppStream metadata with
# their validators.
# Two more modes for CI: "asan" builds the address+undefined sanitizer preset
# and runs every test but the window's under it; "fuzz" installs clang and
# libFuzzer, builds the fuzz targets and runs each for FUZZ_SECONDS (30)
# from the random seed FUZZ_SEED (1), so that a run can be repeated.
# Safe to run again: packages already present are not fetched twice.
set -euo pipefail

mode=${1:-run}
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libcli11-dev nlohmann-json3-dev zlib1g-dev help2man librsvg2-bin
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev qt6-wayland xdg-utils
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg libflac-dev
  libtag1-dev
)
if [ "$mode" = fuzz ]; then
  packages+=(clang libfuzzer-14-dev)
fi
if [ "$mode" = package ]; then
  packages+=(dpkg-dev file lintian appstream desktop-file-utils)
fi

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
  asan)
    cmake --preset asan
    cmake --build --preset asan
    # Leaks are not looked for: FFmpeg stays loaded until exit by design.
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      ctest --preset asan --timeout 900 -j 2
    ;;
  package)
    rm -f build/harmonyfox_*.deb
    (cd build && cpack -G DEB)
    appstreamcli validate --no-net packaging/io.github.quillmere.Harmonyfox.metainfo.xml
    desktop-file-validate packaging/harmonyfox.desktop
    lintian --fail-on error build/harmonyfox_*.deb
    echo "Built $(ls build/harmonyfox_*.deb); install it with: sudo apt install ./$(ls build/harmonyfox_*.deb)"
    ;;
  fuzz)
    cmake --preset fuzz
    cmake --build --preset fuzz
    seeds=build-fuzz/seeds
    rm -rf "$seeds"
    bash fuzz/make_seeds.sh "$seeds" build/bin/harmonyfox-cli
    mkdir -p build-fuzz/findings
    for target in build-fuzz/fuzz/fuzz_*; do
      name=$(basename "$target")
      corpus=build-fuzz/corpus/$name
      mkdir -p "$corpus"
      log=build-fuzz/findings/$name.log
      if ! "$target" -max_total_time="${FUZZ_SECONDS:-30}" -seed="${FUZZ_SEED:-1}" -timeout=10 -print_final_stats=1 \
          -artifact_prefix="build-fuzz/findings/$name-" "$corpus" "$seeds/$name" > "$log" 2>&1; then
        tail -n 60 "$log"
        echo "$name found a fault; the input is in build-fuzz/findings/" >&2
        exit 1
      fi
      echo "$name: $(grep -E '^stat::number_of_executed_units' "$log")"
    done
    ;;
  *)
    echo "usage: $0 [run|test|package|asan|fuzz]" >&2
    exit 2
    ;;
esac
