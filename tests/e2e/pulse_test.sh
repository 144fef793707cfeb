# Guards the PulseAudio output against music lost or repeated (a gap, a recording longer or shorter than the
# music up to the last sync point), against sync points called out before the sound is heard (the run ends at
# the last one, so the music would be cut short of it), against a queue still playing after the run has ended,
# and against SDL's output playing instead when a server answers.
. "$(dirname "$0")/lib.sh"
start_pulse "$scratch/pulse" || { echo "cannot start PulseAudio"; exit 1; }
unset SDL_AUDIODRIVER
cd "$scratch" && cp -r "$VOSTREL_BUILD/testdata/." .
ffmpeg -v error -i demo.mp3 -f s16le -ac 2 -ar 44100 music.raw
last=$("$VOSTREL_INSPECT" markers demo.mp3 | awk 'END { print $3 }')  # the frame of the last sync point

parec -d vostrel_null.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=10 >rec.raw &
recorder=$!
sleep 0.5
for _ in $(seq 100); do  # the program's stream, looked for while it plays
  timeout 5 pactl list sink-inputs >inputs 2>/dev/null && grep -q 'media.name = "Vostrel music"' inputs && break
  sleep 0.1
done &
lister=$!
VOSTREL_STATS=1 timeout 60 "$VOSTREL" 2>err
code=$?
sleep 0.5
kill "$recorder"
wait "$recorder" "$lister"
cat err
check "the test track plays to its end with exit code 0 (was $code)" test "$code" -eq 0
check "its last count is 85" grep -q 'last count 85\b' err
check "the music went through the program's own stream on the server" grep -q 'media.name = "Vostrel music"' inputs

scan=$("$VOSTREL_BUILD/gap-scan" rec.raw $(($(stat -c %s music.raw) / 4)))
echo "$scan"
check "no gap in the music" grep -q '^gaps of 2 ms or more: 0,' <<<"$scan"
heard=$(sed -n 's/.* of the recording: \([0-9.]*\) s .*/\1/p' <<<"$scan")
longest=$(sed -n 's/^vostrel: longest frame \([0-9]*\) ms$/\1/p' err)
# The sound lasts from the music's start to its last sync point (4.250 s here), then to the end of the run.
# That end comes at most two of the program's own frames after the last sync point is heard (the frame in
# progress, then the one that sees count 85 and quits) and one 10 ms turn of the frame gate; the stop itself
# and the recording's 10 ms blocks add up to 40 ms more. A queue played out after the stop adds a quarter second.
allowed=$(awk -v f="${longest:-1000}" 'BEGIN { printf "%.3f", (2 * f + 10 + 40) / 1000 }')
check "the sound lasted to the last sync point (${heard:-?} s)" \
  awk -v h="${heard:-0}" -v l="$last" 'BEGIN { exit !(h >= l / 44100 - 0.002) }'
check "and stopped within ${allowed} s after it (two frames of ${longest:-?} ms and the stop)" \
  awk -v h="${heard:-0}" -v l="$last" -v a="$allowed" 'BEGIN { exit !(h <= l / 44100 + a) }'
finish
