# Guards the marker reader and vostrel-inspect against misreading files ffmpeg writes (ID3v2.3 and 2.4 chapters,
# WAVE), an inexact gapless duration, markers past the end or in a cut file not told apart, and failures that
# are not reported.
. "$(dirname "$0")/lib.sh"
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed: skipped"; exit 77; }
cd "$scratch"
printf ';FFMETADATA1\n' >meta.txt
for c in "0 Caf\xc3\xa9" "1500 Second" "2010 Padding" "2500 Late"; do
  printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%s\nEND=3000\ntitle=%b\n' "${c%% *}" "${c#* }" >>meta.txt
done
ffmpeg -v error -f lavfi -i sine=duration=2 -i meta.txt -map 0:a -map_chapters 1 -ac 2 -c:a libmp3lame \
  -id3v2_version 3 chapters.mp3
ffmpeg -v error -f lavfi -i sine=duration=1 -ac 2 -c:a pcm_s16le plain.wav

"$VOSTREL_INSPECT" markers chapters.mp3 >mp3.txt
check "an MP3 with chapters is read" test $? -eq 0
check "its duration is decoded gapless, to the sample" grep -q '^duration: *0:02\.000 (88200 samples)$' mp3.txt
check "a marker line holds number, time, sample and name" grep -q '^ *2  0:01\.500 *66150  Second$' mp3.txt
check "names are shown in UTF-8" grep -q "  Caf$(printf '\xc3\xa9')\$" mp3.txt
check "a marker just past the audio is called at its end" grep -q '^ *3  0:02\.010 .*Padding .*when the end is heard' mp3.txt
check "a marker far past the audio is never called" grep -q '^ *4  0:02\.500 .*Late .*never called' mp3.txt
head -c 20000 chapters.mp3 >cut.mp3  # about 1.2 s of its 2
"$VOSTREL_INSPECT" markers cut.mp3 >cut.txt
check "a cut file is said to be cut" grep -q '^cut short:' cut.txt
check "and its markers after the cut are never called" grep -q '^ *2  0:01\.500 .*Second .*never called' cut.txt
# ffmpeg writes plain (not synchsafe) sizes in ID3v2.4 chapter frames: a long title must come back whole.
long=$(printf 'L%.0s' $(seq 150))
printf ';FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=%s\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1000\ntitle=end\n' "$long" >meta4.txt
ffmpeg -v error -f lavfi -i sine=duration=1 -i meta4.txt -map 0:a -map_chapters 1 -ac 2 -c:a libmp3lame \
  -id3v2_version 4 v24.mp3
check "a 150-byte title in an ID3v2.4 chapter is read whole" grep -q "^ *1  0:00\.000 *0  $long\$" \
  <("$VOSTREL_INSPECT" markers v24.mp3)
check "and the chapter after it too" grep -q '^ *2  0:00\.500 *22050  end$' <("$VOSTREL_INSPECT" markers v24.mp3)
"$VOSTREL_INSPECT" markers plain.wav >wav.txt
check "a WAVE file is read, PCM duration from its size" grep -q '^duration: *0:01\.000 (44100 samples)$' wav.txt
cat wav.txt mp3.txt cut.txt

head -c 3000 /dev/urandom | tr '\377' x >noise.bin
: >empty.mp3
for f in noise.bin empty.mp3 missing.mp3; do
  "$VOSTREL_INSPECT" markers "$f" >/dev/null 2>err.txt
  check "$f: exit code 1" test $? -eq 1
  check "$f: one line on stderr naming the file" test "$(grep -c "$f" err.txt)" -eq 1
done
cat err.txt
finish
