# Guards the default assets against chapters that ffprobe, the tool's table and our reader see differently, a
# gapless length off by a sample, images other decoders cannot read, and generation that is not repeatable.
. "$(dirname "$0")/lib.sh"
for tool in ffmpeg ffprobe sox convert identify; do
  command -v $tool >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
: "${VOSTREL_ASSETS:?}" "${VOSTREL_BUILD:?}" "${VOSTREL_INSPECT:?}"
cd "$scratch"
full=$VOSTREL_BUILD/demo.mp3
short=$VOSTREL_BUILD/testdata/demo.mp3

# Markers: ffprobe reads 84 chapters, in order, each name at most 25 bytes, matching the tool's table;
# our own reader agrees with ffprobe on every time and name.
chapters() {  # chapters MP3: "start_ms<TAB>name" per chapter, as ffprobe sees them (time base 1/1000)
  ffprobe -v error -show_entries chapter=start:chapter_tags=title -of compact=p=0:nk=1 "$1" | sed 's/|/\t/'
}
inspected() {  # inspected MP3: the same lines from vostrel-inspect
  "$VOSTREL_INSPECT" markers "$1" | awk '/^ *[0-9]+  [0-9]+:[0-9]+\.[0-9]+ /{
      split($2, t, ":"); ms = (t[1] * 60 + t[2]) * 1000; name = $0; sub(/^ *[0-9]+ +[0-9:.]+ +[0-9]+  /, "", name);
      printf "%d\t%s\n", ms + 0.5, name }'
}
for track in full short; do
  file=${!track}
  flag=; [ $track = short ] && flag=--test-track
  chapters "$file" >$track.ffprobe.txt
  "$VOSTREL_ASSETS" --list-markers $flag | cut -f2- >$track.table.txt
  inspected "$file" >$track.inspect.txt
  check "$track: ffprobe lists 84 chapters" test "$(wc -l <$track.ffprobe.txt)" -eq 84
  check "$track: chapter times ascend" sort -n -c -k1,1 $track.ffprobe.txt
  check "$track: names are at most 25 bytes" test "$(cut -f2 $track.ffprobe.txt | LC_ALL=C awk 'length > 25' | wc -l)" -eq 0
  check "$track: chapters match the tool's table" diff $track.table.txt $track.ffprobe.txt
  check "$track: vostrel-inspect agrees with ffprobe" diff $track.ffprobe.txt $track.inspect.txt
done
check "the test track keeps the names" diff <(cut -f2 full.table.txt) <(cut -f2 short.table.txt)
# The README's recipe: ffmpeg writes the tool's chapter file into an untagged copy and the markers come out the same.
ffmpeg -v error -i "$short" -map 0:a -map_metadata -1 -map_chapters -1 -c copy plain.mp3
"$VOSTREL_ASSETS" --ffmetadata --test-track >meta.txt
ffmpeg -v error -i plain.mp3 -i meta.txt -map 0:a -map_chapters 1 -c copy -id3v2_version 3 own.mp3
check "markers added with ffmpeg read back as the generated ones" diff short.inspect.txt <(inspected own.mp3)

# Audio: exact gapless length, silent once the last marker is heard.
ffmpeg -v error -i "$full" -c:a pcm_s16le full.wav
ffmpeg -v error -i "$short" -c:a pcm_s16le short.wav
check "the song decodes to 180 s exactly" test "$(soxi -s full.wav)" -eq 7938000
check "the test track decodes to 4.5 s exactly" test "$(soxi -s short.wav)" -eq 198450
rms=$(sox full.wav -n trim 179.6 stats 2>&1 | awk '/^RMS lev dB/ {print $4}')
check "the music has ended when the last marker is heard (RMS $rms dB)" awk -v r="$rms" 'BEGIN { exit !(r == "-inf" || r < -70) }'

# Images: ImageMagick reads all fifteen; the test data holds the same images.
count=0
for f in "$VOSTREL_BUILD"/Data/*.bmp "$VOSTREL_BUILD"/Data/greets/*.bmp; do
  count=$((count + 1))
  rel=${f#"$VOSTREL_BUILD"/}
  check "$rel: ImageMagick decodes it" sh -c "convert '$f' rgb:- | test \$(wc -c) -gt 0"
  check "$rel: the test data has the same file" cmp -s "$f" "$VOSTREL_BUILD/testdata/$rel"
done
check "fifteen images" test $count -eq 15

# Generation is repeatable: a fresh run writes the very bytes the build wrote.
"$VOSTREL_ASSETS" again
"$VOSTREL_ASSETS" --test-track again-test
for f in demo.mp3 $(cd again && find Data -name '*.bmp' | sort); do
  check "again: $f is byte-identical" cmp -s "again/$f" "$VOSTREL_BUILD/$f"
done
check "again: the test track is byte-identical" cmp -s again-test/demo.mp3 "$short"
finish
