#!/usr/bin/env bash
# Matching benchmark: how many real copies of a piece the content comparison
# finds, and how many unrelated pairs it lists. Sixteen pieces of Debian's
# game music (installed here when missing; used only by benchmarks), each cut
# to 120 s as the original (FLAC), fourteen kinds of copy made of each with
# the ffmpeg tool, and the other recordings of the packages as negatives.
# Prints, at the given settings, the copies found with their original per
# kind, the pairs found among all copies of a piece, and the false pairs.
#
# usage: bash bench/matching_corpus.sh BUILD [SCAN OPTION...]
#   BUILD        a build folder holding bin/harmonyfox-cli and the plug-ins
#   SCAN OPTION  passed on to `harmonyfox-cli scan` (--sensitivity S, --strict)
# The corpus is kept in $HF_BENCH_DIR (default
# ${TMPDIR:-/tmp}/harmonyfox-matching-bench) and reused by later runs, each
# build with a cache file of its own there.
set -euo pipefail

build=$(realpath "${1:?usage: matching_corpus.sh BUILD [SCAN OPTION...]}")
shift
cli=$build/bin/harmonyfox-cli
[[ -x $cli ]] || { echo "no $cli" >&2; exit 2; }
work=${HF_BENCH_DIR:-${TMPDIR:-/tmp}/harmonyfox-matching-bench}
corpus=$work/corpus

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

sing=/usr/share/games/singularity/music
fof=/usr/share/games/fretsonfire/data/songs/muldjord
blupi=/usr/share/planetblupi/music
dras=/usr/share/scummvm/drascula/audio
# Pieces with copies, four from each package.
pieces=(
  "$sing/Aberrations.ogg" "$sing/Coherence.ogg" "$sing/Enemy Unknown.ogg" "$sing/Nebula.ogg"
  "$fof/chaos_god/song.ogg" "$fof/mutilated_mime/song.ogg" "$fof/armygeddon/song.ogg"
  "$fof/internal_degeneration/song.ogg"
  "$blupi/music001.ogg" "$blupi/music003.ogg" "$blupi/music005.ogg" "$blupi/music007.ogg"
  "$dras/track1.ogg" "$dras/track2.ogg" "$dras/track23.ogg" "$dras/track26.ogg")
# Unrelated recordings, each once. (track30 of drascula is left out: it
# plays the music of track1.)
negatives=(
  "$sing/A New Journey.ogg" "$sing/Advanced Simulacra.ogg" "$sing/Awakening.ogg"
  "$sing/By-Product.ogg" "$sing/Deprecation.ogg" "$sing/Inevitable.ogg" "$sing/Media Threat.ogg"
  "$sing/Orbital Elevator.ogg" "$sing/Through Space.ogg" "$sing/win/Apex Aleph.ogg"
  "$blupi/music000.ogg" "$blupi/music002.ogg" "$blupi/music004.ogg" "$blupi/music006.ogg"
  "$blupi/music008.ogg" "$blupi/music009.ogg"
  "$dras/track11.ogg" "$dras/track14.ogg" "$dras/track24.ogg" "$dras/track5.ogg" "$dras/track9.ogg" "$dras/track16.ogg" "$dras/track18.ogg")

kinds=(cut2 fade5 silence10 hiss3 telephone aac96 opus64 mp3mono32 eq compressed pinknoise
  tempo102 speed101 first45)

ff() { ffmpeg -nostdin -v error -y "$@"; }

# The copy of kind $1 of the original $2, written to $3 without extension.
make_copy() {
  local kind=$1 in=$2 out=$3
  case $kind in
  cut2) ff -ss 2 -i "$in" -c:a flac "$out.flac" ;;
  fade5) ff -i "$in" -af afade=t=in:d=5 -c:a flac "$out.flac" ;;
  silence10) ff -i "$in" -af adelay=delays=10000:all=1 -c:a flac "$out.flac" ;;
  hiss3)
    ff -f lavfi -i anoisesrc=c=white:a=0.003:r=44100:d=3 -i "$in" \
      -filter_complex '[0:a]aformat=channel_layouts=stereo[h];[h][1:a]concat=n=2:v=0:a=1' \
      -c:a flac "$out.flac" ;;
  telephone)
    ff -i "$in" -af highpass=f=300,highpass=f=300,lowpass=f=3400,lowpass=f=3400 -ar 8000 -ac 1 \
      -c:a pcm_s16le "$out.wav" ;;
  aac96) ff -i "$in" -c:a aac -b:a 96k "$out.m4a" ;;
  opus64) ff -i "$in" -c:a libopus -b:a 64k "$out.opus" ;;
  mp3mono32) ff -i "$in" -ac 1 -c:a libmp3lame -b:a 32k "$out.mp3" ;;
  eq) ff -i "$in" -af bass=g=8,treble=g=-6,alimiter=limit=0.95 -c:a flac "$out.flac" ;;
  compressed)
    ff -i "$in" -af acompressor=threshold=0.03:ratio=20:attack=5:release=50:makeup=6,alimiter=limit=0.95 \
      -c:a flac "$out.flac" ;;
  pinknoise)
    ff -i "$in" -f lavfi -i anoisesrc=c=pink:a=0.05:r=44100 \
      -filter_complex '[1:a]aformat=channel_layouts=stereo[n];[0:a][n]amix=inputs=2:duration=first:normalize=0' \
      -c:a flac "$out.flac" ;;
  tempo102) ff -i "$in" -af atempo=1.02 -c:a flac "$out.flac" ;;
  speed101) ff -i "$in" -af asetrate=44541,aresample=44100 -c:a flac "$out.flac" ;;
  first45) ff -i "$in" -t 45 -c:a flac "$out.flac" ;;
  esac
}

# A corpus made from another list of sources is made afresh.
sources=$(printf '%s\n' "${pieces[@]}" -- "${negatives[@]}" "${kinds[@]}")
if [[ ! -e $work/sources.txt || $(cat "$work/sources.txt") != "$sources" ]]; then
  rm -rf "$corpus" "$work"/cache-*
  mkdir -p "$corpus"
  printf '%s\n' "$sources" >"$work/sources.txt"
fi
# Each file is written under a temporary name first, so an interrupted run
# leaves nothing half made.
shape=(-t 120 -ar 44100 -ac 2 -map_metadata -1 -c:a flac -sample_fmt s16)
n=0
for src in "${pieces[@]}"; do
  n=$((n + 1))
  piece=$(printf 'p%02d' "$n")
  original=$corpus/${piece}__original.flac
  if [[ ! -e $original ]]; then
    ff -i "$src" "${shape[@]}" "$work/part.flac" && mv "$work/part.flac" "$original"
  fi
  for kind in "${kinds[@]}"; do
    compgen -G "$corpus/${piece}__$kind.*" >/dev/null && continue
    rm -rf "$work/part" && mkdir "$work/part"
    make_copy "$kind" "$original" "$work/part/${piece}__$kind"
    mv "$work/part/"* "$corpus/"
  done
done
n=0
for src in "${negatives[@]}"; do
  n=$((n + 1))
  out=$corpus/$(printf 'n%02d' "$n")__original.flac
  [[ -e $out ]] || { ff -i "$src" "${shape[@]}" "$work/part.flac" && mv "$work/part.flac" "$out"; }
done

cache=$work/cache-$(echo "$build" | md5sum | cut -c1-8).dat
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# The default sensitivity unless the options name one.
options=(--method content --format json)
[[ " $* " == *" --sensitivity "* ]] || options+=(--sensitivity 0.75)
echo "$cli scan ${options[*]} $* ($(ls "$corpus" | wc -l) files)"
/usr/bin/time -f 'scan: %e s wall, %U s user' \
  "$cli" scan "${options[@]}" "$@" --cache "$cache" --output "$out" "$corpus"
python3 - "$out" "${kinds[@]}" <<'EOF'
import json, os, sys
from collections import defaultdict
doc = json.load(open(sys.argv[1]))
kinds = sys.argv[2:]
def name(path):
    piece, kind = os.path.basename(path).split('.')[0].split('__')
    return piece, kind
listed = set()
false_pairs = []
for p in doc['pairs']:
    a, b = name(p['path1']), name(p['path2'])
    if a[0] == b[0]:
        listed.add((a[0], frozenset((a[1], b[1]))))
    else:
        false_pairs.append((os.path.basename(p['path1']), os.path.basename(p['path2']), p['content']))
pieces = sorted({k[0] for k in listed} | {f'p{i:02d}' for i in range(1, 17)})
print(f"{'kind':<12} found with its original")
total = 0
for kind in kinds:
    found = sum((p, frozenset((kind, 'original'))) in listed for p in pieces)
    total += found
    print(f"{kind:<12} {found:2d} / {len(pieces)}")
print(f"{'copy-original':<12} {total} / {len(pieces) * len(kinds)} = {total / (len(pieces) * len(kinds)):.3f}")
members = ['original'] + kinds
all_pairs = len(members) * (len(members) - 1) // 2 * len(pieces)
found_all = sum(1 for _ in listed)
print(f"{'all pairs':<12} {found_all} / {all_pairs} = {found_all / all_pairs:.3f}")
print(f"{'false pairs':<12} {len(false_pairs)}")
for f in false_pairs:
    print(f"  {f[0]}  {f[1]}  content {f[2]}")
EOF
