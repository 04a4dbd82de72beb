#!/usr/bin/env bash
# Writes the fuzz targets' seed corpora into OUT/<target>/, every seed made
# here from generated sound (ffmpeg's sine source) or written out by hand.
# usage: fuzz/make_seeds.sh OUT CLI   (CLI: a built harmonyfox-cli, for the cache)
set -euo pipefail

out=${1:?usage: make_seeds.sh OUT CLI}
cli=${2:?usage: make_seeds.sh OUT CLI}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for t in fuzz_stream_readers fuzz_streamdec fuzz_grip_cache fuzz_folders_setting \
         fuzz_update_answer fuzz_tag_keys; do
  mkdir -p "$out/$t"
done

tone() {  # tone SECONDS RATE FILE CODEC-ARGS...
  local seconds=$1 rate=$2 file=$3
  shift 3
  ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds" \
    -ac 1 "$@" "$file"
}

# Short files of each kind that Streamdec reads. The decoder target takes a
# first byte that chooses the extension: 0 .wav, 1 .mp3, 2 .mp2, 3 .wma.
tone 0.1 8000 "$work/tone.wav" -c:a pcm_s16le
tone 0.3 8000 "$work/tone.mp3" -c:a libmp3lame -b:a 8k
tone 0.3 22050 "$work/plain.mp3" -c:a libmp3lame -b:a 32k -id3v2_version 0 -write_xing 0
tone 0.2 16000 "$work/tone.mp2" -c:a mp2 -b:a 32k
tone 0.3 22050 "$work/tone.wma" -c:a wmav2 -b:a 32k
n=0
for f in tone.wav tone.mp3 plain.mp3 tone.mp2 tone.wma; do
  cp "$work/$f" "$out/fuzz_stream_readers/$f"
  case $f in
    *.wav) pick='\x00' ;;
    *.mp3) pick='\x01' ;;
    *.mp2) pick='\x02' ;;
    *.wma) pick='\x03' ;;
  esac
  { printf "$pick"; cat "$work/$f"; } > "$out/fuzz_streamdec/seed$n"
  n=$((n + 1))
done
# An ID3 version 1 trailer behind the frames.
{ cat "$work/plain.mp3"; printf 'TAG%-30s%-30s%-30s1999%-30s\x11' Title Artist Album Comment; } \
  > "$out/fuzz_stream_readers/trailer.mp3"

# A cache of two records, and one of the header alone.
mkdir -p "$work/music" "$work/empty"
tone 16 8000 "$work/music/a.wav" -c:a pcm_s16le
tone 16 8000 "$work/music/b.wav" -c:a pcm_s16le -af volume=0.5
"$cli" scan "$work/music" --cache "$out/fuzz_grip_cache/two.dat" > /dev/null 2>&1
"$cli" scan "$work/empty" --cache "$out/fuzz_grip_cache/empty.dat" > /dev/null 2>&1

# Folders settings; the target reads a first odd byte as "UTF-16 follows".
printf '\x00"/home/user/Music";"/mnt/disk/Songs ""live"" set";' > "$out/fuzz_folders_setting/utf8"
printf '\x00junk"";"/a";;"";"/b' > "$out/fuzz_folders_setting/odd"
printf '\x01"\x00/\x00x\x00"\x00;\x00' > "$out/fuzz_folders_setting/utf16"

printf 'Harmonyfox:0.7:OK' > "$out/fuzz_update_answer/same"
printf 'Harmonyfox:1.12:OK\r\n' > "$out/fuzz_update_answer/newer"
printf 'Harmonyfox:0.7:NO' > "$out/fuzz_update_answer/refused"
printf 'Harmonyfox:99999999999.-1:OK\x00tail' > "$out/fuzz_update_answer/large"

printf '  The Artist\t' > "$out/fuzz_tag_keys/blanks"
printf '/music/Some Album/01 - A Title.MP3' > "$out/fuzz_tag_keys/path"
printf 'Caf\xe9 \xc3\xa9\xed\xa0\x80\xf0\x9f\x8e\xb5' > "$out/fuzz_tag_keys/bytes"
