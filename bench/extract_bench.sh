#!/usr/bin/env bash
# Extraction speed of two builds side by side: the CPU time (user + system) of
# `harmonyfox-cli scan` over folders of new 3-minute files, per file, for MP3
# 128k, MP3 320k, FLAC and WAV; and, per format, the smallest correlation of
# every file's envelope, drift and spectrum between the two builds.
#
# usage: bash bench/extract_bench.sh BASE_BUILD NEW_BUILD [ROUNDS]
#   BASE_BUILD, NEW_BUILD  build folders holding bin/harmonyfox-cli
#   ROUNDS                 scans per build and format (default 3); the least
#                          CPU time of a build is reported
# The recordings come from Debian's game music packages, installed here when
# missing; the converted files are kept in $HF_BENCH_DIR (default
# ${TMPDIR:-/tmp}/harmonyfox-extract-bench) and reused by later runs.
set -euo pipefail

base=$(realpath "${1:?usage: extract_bench.sh BASE_BUILD NEW_BUILD [ROUNDS]}")
new=$(realpath "${2:?usage: extract_bench.sh BASE_BUILD NEW_BUILD [ROUNDS]}")
rounds=${3:-3}
work=${HF_BENCH_DIR:-${TMPDIR:-/tmp}/harmonyfox-extract-bench}
seconds=180
formats=(${HF_BENCH_FORMATS:-mp3_128 mp3_320 flac wav})

for b in "$base" "$new"; do
  [[ -x $b/bin/harmonyfox-cli ]] || { echo "no $b/bin/harmonyfox-cli" >&2; exit 2; }
done

packages=(singularity-music drascula-music planetblupi-music-ogg fretsonfire-songs-muldjord)
missing=()
for p in "${packages[@]}" ffmpeg python3; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# 31 recordings of at least three minutes (shorter ones are looped).
sources=()
while IFS= read -r f; do sources+=("$f"); done < <(
  ls /usr/share/games/singularity/music/*.ogg
  ls /usr/share/games/fretsonfire/data/songs/muldjord/*/song.ogg
  ls /usr/share/planetblupi/music/music00[0-9].ogg
  ls /usr/share/scummvm/drascula/audio/track{1,2,23,30}.ogg)

mkdir -p "${formats[@]/#/$work/}"
# One decode per recording feeds all four formats.
shape=(-t "$seconds" -ar 44100 -ac 2 -map_metadata -1)
i=0
for src in "${sources[@]}"; do
  i=$((i + 1))
  name=$(printf '%02d %s' "$i" "$(basename "$src" .ogg)")
  [[ -s "$work/wav/$name.wav" ]] && continue
  ffmpeg -nostdin -v error -stream_loop -1 -i "$src" \
    "${shape[@]}" -c:a libmp3lame -b:a 128k -y "$work/mp3_128/$name.mp3" \
    "${shape[@]}" -c:a libmp3lame -b:a 320k -y "$work/mp3_320/$name.mp3" \
    "${shape[@]}" -c:a flac -sample_fmt s16 -y "$work/flac/$name.flac" \
    "${shape[@]}" -c:a pcm_s16le -y "$work/wav/$name.part.wav"
  mv "$work/wav/$name.part.wav" "$work/wav/$name.wav"
done

count=${#sources[@]}
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
# CPU seconds (user + system) of one scan with a fresh cache; the cache is
# kept for the correlations.
scan_cpu() {
  local build=$1 folder=$2 cache=$3
  rm -f "$cache"
  /usr/bin/time -f '%U %S' -o "$results/time" \
    "$build/bin/harmonyfox-cli" scan --cache "$cache" --output /dev/null "$folder" 2>/dev/null
  awk '{ printf "%.3f\n", $1 + $2 }' "$results/time"
}

printf '%d files of %d s per format, %s rounds, least CPU time per file (s)\n' \
  "$count" "$seconds" "$rounds"
printf '%-8s %8s %8s %6s   %s\n' format base new ratio 'min correlation envelope/drift/spectrum'
for fmt in "${formats[@]}"; do
  best_base="" best_new=""
  for ((r = 0; r < rounds; r++)); do
    # Alternating keeps a change of the machine's load from favouring one build.
    b=$(scan_cpu "$base" "$work/$fmt" "$results/base.dat")
    n=$(scan_cpu "$new" "$work/$fmt" "$results/new.dat")
    best_base=$(printf '%s\n%s\n' "$b" "$best_base" | grep . | sort -g | head -1)
    best_new=$(printf '%s\n%s\n' "$n" "$best_new" | grep . | sort -g | head -1)
  done
  corr=$(python3 - "$results/base.dat" "$results/new.dat" "$count" <<'PY'
import struct, sys

def grips(path):
    """Envelope, drift and compared spectrum bins of every record, by path."""
    data = open(path, 'rb').read()
    pos, out = 32, {}
    while pos + 2 <= len(data):
        (plen,) = struct.unpack_from('<h', data, pos)
        pos += 2
        name = data[pos:pos + 2 * plen].decode('utf-16-le', 'replace')
        pos += 2 * plen
        floats = struct.unpack_from('<2158f', data, pos)
        pos += 4 * 2158
        for _ in range(4):
            (n,) = struct.unpack_from('<h', data, pos)
            pos += 2 + n
        pos += 4
        out[name] = (floats[:100], floats[100:110], floats[110:110 + 1025])
    return out

def pearson(a, b):
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return 1.0 if va * vb == 0 else cov / (va * vb) ** 0.5

base, new = grips(sys.argv[1]), grips(sys.argv[2])
common = sorted(set(base) & set(new))
if len(common) != int(sys.argv[3]):
    print(f'only {len(common)} files in both caches')
else:
    worst = [min(pearson(base[p][i], new[p][i]) for p in common) for i in range(3)]
    print('/'.join(f'{w:.6f}' for w in worst))
PY
)
  ratio=$(awk -v b="$best_base" -v n="$best_new" 'BEGIN { printf "%.2f", n / b }')
  printf '%-8s %8.4f %8.4f %6s   %s\n' "$fmt" "$(awk -v t="$best_base" -v c="$count" 'BEGIN { print t / c }')" \
    "$(awk -v t="$best_new" -v c="$count" 'BEGIN { print t / c }')" "$ratio" "$corr"
done
