# vostrel-record on the test track and the default demo, judged by ffprobe, ffmpeg and ImageMagick: the streams,
# the rate and length, the frames around sync points against vostrel-capture, the sound's start and cut, repeated
# runs, and runs stopped by a signal.
. "$(dirname "$0")/lib.sh"
cd "$VOSTREL_BUILD/testdata"

# The track's markers as the tools read them: marker m takes the count from m to m + 1.
info=$("$VOSTREL_INSPECT" markers demo.mp3)
rate=$(sed -n 's/^sample rate: *\([0-9]*\).*/\1/p' <<<"$info")
mapfile -t samples < <(awk '$1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]+:/ { print $3 }' <<<"$info")
check "the test track has its 84 markers at 44100 Hz" test "${#samples[@]}" -eq 84 -a "${rate:-0}" -eq 44100
first_tick() {  # the first 10 ms tick drawn at count $1: the one at or after its marker
  [ "$1" -le 1 ] && { echo 0; return; }
  echo $(( (samples[$1 - 2] * 100 + rate - 1) / rate ))
}
last_tick=$(first_tick 85)  # 187425 samples: tick 425, the quit

probe() {  # probe FILE STREAM ENTRIES: ffprobe's values, comma-separated
  ffprobe -v error -select_streams "$2" -count_frames -show_entries "stream=$3" -of csv=p=0 "$1" 2>/dev/null
}
frame_png() {  # frame_png VIDEO N OUT: the video's frame N as PNG
  ffmpeg -v error -y -i "$1" -vf "select=eq(n\,$2)" -vsync 0 -frames:v 1 "$3"
}
mae() {  # mae A B: ImageMagick's mean absolute difference, 0 to 1
  compare -metric MAE "$1" "$2" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'
}
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && a < b) }'; }

# Bad arguments: usage and 2, before anything is drawn.
for args in "" "x.avi" "x.mp4 --fps 30" "x.mp4 --size 800x800" "x.mp4 --size 321x241" "x.mp4 --from 3 --to 2" \
            "x.mp4 --crf 60" "x.mp4 --bogus"; do
  # shellcheck disable=SC2086
  (cd "$scratch" && "$VOSTREL_RECORD" $args) 2>"$scratch/err"
  check "'$args': exit code 2 with the usage" test $? -eq 2 -a -n "$(grep '^usage: vostrel-record' "$scratch/err")"
done
(cd "$scratch" && "$VOSTREL_RECORD" x.mp4) 2>"$scratch/err"
check "without demo.mp3: exit code 1 and the reason" test $? -eq 1 -a -n "$(grep 'demo.mp3' "$scratch/err")"
"$VOSTREL_RECORD" "$scratch/no/such/folder/x.mp4" --quiet 2>"$scratch/err"
check "an output that cannot be written: exit code 1 and the reason" \
  test $? -eq 1 -a -n "$(grep 'cannot write' "$scratch/err")"

# Every drawn frame kept: frame n of the video is tick n.
"$VOSTREL_RECORD" "$scratch/a.mp4" --fps 100 --quiet 2>"$scratch/err"
check "a 100 frames a second recording ends with exit code 0, quietly" test $? -eq 0 -a ! -s "$scratch/err"
check "H.264 in yuv420p at 100 frames a second, 1024x768" \
  test "$(probe "$scratch/a.mp4" v codec_name,width,height,pix_fmt,r_frame_rate)" = "h264,1024,768,yuv420p,100/1"
check "the music's MP3 stream beside it" test "$(probe "$scratch/a.mp4" a codec_name)" = "mp3"
# Ticks 0..425 drawn, then the last picture one second more: 5.25 s.
check "video up to the quit and one second: $((last_tick + 100)) frames" \
  test "$(probe "$scratch/a.mp4" v nb_read_frames)" -eq $((last_tick + 100)) -a "$last_tick" -eq 425
check "both streams start at 0" test "$(probe "$scratch/a.mp4" v start_time),$(probe "$scratch/a.mp4" a start_time)" \
  = "0.000000,0.000000"
# The first gapless sample at time 0: the recording's sound decodes to the music's own samples.
ffmpeg -v error -i demo.mp3 -f s16le -t 1 "$scratch/music.raw"
ffmpeg -v error -i "$scratch/a.mp4" -map 0:a -f s16le -t 1 "$scratch/a.raw"
check "the sound's first second is the music's first second, sample for sample" cmp -s "$scratch/music.raw" "$scratch/a.raw"

# Around a sync point the video shows what the capture tool draws after the same frames at the same counts:
# the frame before it the old scene, the frame at it the new one (title at 5, cube columns at 40).
for target in 5 40; do
  args=()
  for ((c = 1; c < target; c++)); do
    n=$(( $(first_tick $((c + 1))) - $(first_tick "$c") ))
    [ "$n" -gt 0 ] && args+=("$c:$n")
  done
  mkdir -p "$scratch/cap$target"
  "$VOSTREL_CAPTURE" "$scratch/cap$target" "${args[@]}" "$target:1" >/dev/null
  at=$(first_tick "$target")
  frame_png "$scratch/a.mp4" $((at - 1)) "$scratch/before.png"
  frame_png "$scratch/a.mp4" "$at" "$scratch/at.png"
  previous=${args[-1]%%:*}
  same_before=$(mae "$scratch/before.png" "$scratch/cap$target/count-$previous.png")
  same_at=$(mae "$scratch/at.png" "$scratch/cap$target/count-$target.png")
  across=$(mae "$scratch/at.png" "$scratch/cap$target/count-$previous.png")
  echo "count $target at frame $at: difference $same_before before, $same_at at, $across across the change"
  check "count $target: frame $((at - 1)) is the capture at count $previous" below "$same_before" 0.03
  check "count $target: frame $at is the capture at count $target" below "$same_at" 0.03
  check "count $target: the scene changes there" below 0.06 "$across"
done

"$VOSTREL_RECORD" "$scratch/b.mp4" --fps 100 --quiet
check "a second run with the same arguments gives the same bytes" cmp -s "$scratch/a.mp4" "$scratch/b.mp4"

# A stretch at 60 frames a second, scaled: 1 s to 3 s of the music.
"$VOSTREL_RECORD" "$scratch/c.mp4" --size 320x240 --from 1 --to 3 --quiet
check "--size 320x240 --from 1 --to 3: 320x240 at 60 frames a second, 120 frames" \
  test "$(probe "$scratch/c.mp4" v width,height,r_frame_rate,nb_read_frames)" = "320,240,60/1,120"
frame_png "$scratch/a.mp4" 100 "$scratch/a100.png"
convert "$scratch/a100.png" -resize 320x240 "$scratch/a100-small.png"
frame_png "$scratch/c.mp4" 0 "$scratch/c0.png"
check "--from 1: the first frame is the one drawn at 1 s" below "$(mae "$scratch/c0.png" "$scratch/a100-small.png")" 0.02
ffmpeg -v error -ss 1 -i "$scratch/a.mp4" -map 0:a -f s16le -t 1.9 "$scratch/a1.raw"
ffmpeg -v error -i "$scratch/c.mp4" -map 0:a -f s16le -t 1.9 "$scratch/c.raw"
check "--from 1: the sound starts with the music at 1 s, sample for sample" cmp -s "$scratch/a1.raw" "$scratch/c.raw"
sound=$(probe "$scratch/c.mp4" a duration)
check "--to 3: the sound ends at 2 s within a frame ($sound)" awk -v d="${sound:-0}" 'BEGIN { exit !(d > 1.98 && d < 2.02) }'

# Music that is not an MP3 (the track as 16-bit PCM in a RIFF/WAVE file, here without markers) goes in as AAC.
mkdir "$scratch/wave" && ln -s "$PWD/Data" "$scratch/wave/Data"
ffmpeg -v error -i demo.mp3 -c:a pcm_s16le -f wav "$scratch/wave/demo.mp3"
(cd "$scratch/wave" && "$VOSTREL_RECORD" w.mp4 --size 160x120 --to 1 --quiet)
check "RIFF/WAVE music: AAC from time 0 for the second asked for" \
  test "$(probe "$scratch/wave/w.mp4" a codec_name,start_time,duration)" = "aac,0.000000,1.000000"

# Stopped by a signal part-way through the default demo: the file holds and plays what was written.
cd "$VOSTREL_BUILD"
for run in "INT mp4 130" "TERM mkv 143"; do
  read -r signal extension expected <<<"$run"
  out=$scratch/stopped.$extension
  "$VOSTREL_RECORD" "$out" --quiet 2>"$scratch/err" &
  pid=$!
  for _ in $(seq 600); do  # until a few frames are in the file
    [ "$(stat -c %s "$out" 2>/dev/null || echo 0)" -gt 40000 ] && break
    sleep 0.1
  done
  kill -"$signal" $pid
  wait $pid
  code=$?
  held=$(sed -n 's/.* holds \([0-9]*\) frames.*/\1/p' "$scratch/err")
  cat "$scratch/err"
  check "SIG$signal: exit code $expected" test "$code" -eq "$expected"
  check "SIG$signal: the $extension file holds the $held frames written, with the sound" \
    test "$(probe "$out" v nb_read_frames),$(probe "$out" a codec_name)" = "${held:-x},mp3" -a "${held:-0}" -gt 0
  # At the file's own times: Matroska's are whole milliseconds, which a 1/60 s grid would make collide.
  decoded=$(ffmpeg -v error -i "$out" -vsync 0 -enc_time_base -1 -f null - 2>&1)
  check "SIG$signal: every frame decodes" test -z "$decoded"
done
finish
