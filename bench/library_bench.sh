#!/bin/bash
# The library benchmark: installs real recordings from Debian's game music
# packages (used only here, never by the tests), fingerprints them into a
# cache of their own with harmonyfox-cli, and runs library_bench on a model
# drawn from them. Arguments go to library_bench (sizes, --check N,
# --method, --sensitivity, --strict); by default 10000 50000 100000, checked
# at 10000.
#
# Run from the repository after `bash tools/bootstrap.sh test` has built it:
#   bash bench/library_bench.sh [N...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
packages=(singularity-music drascula-music planetblupi-music-ogg fretsonfire-songs-muldjord)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
folders=()
for p in "${packages[@]}"; do
  while read -r f; do
    case "$f" in *.ogg|*.mp3|*.flac|*.wav) folders+=("$(dirname "$f")");; esac
  done < <(dpkg -L "$p")
done
mapfile -t folders < <(printf '%s\n' "${folders[@]}" | sort -u)
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "fingerprinting the recordings of ${packages[*]} (${#folders[@]} folders)"
"$bin/harmonyfox-cli" scan --method content --cache "$work/real.dat" "${folders[@]}" >/dev/null
if [ $# -eq 0 ]; then
  set -- 10000 50000 100000 --check 10000
fi
"$bin/library_bench" "$work/real.dat" "$@"
