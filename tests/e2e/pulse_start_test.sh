# Guards the PulseAudio output against sync points called before their sound is played while the server has not
# begun to play the queue: the test track's markers of its first 300 ms against a null sink's recorded monitor
# (bench_sync), within the recording's own uncertainty; on a fresh sink, slow to start, then on a running one.
. "$(dirname "$0")/lib.sh"
[ -n "${VOSTREL_BENCH_SYNC:-}" ] && [ -x "$VOSTREL_BENCH_SYNC" ] || { echo "bench_sync is not built: skipped"; exit 77; }
start_pulse "$scratch/pulse" || { echo "cannot start PulseAudio"; exit 1; }
SDL_AUDIODRIVER=pulseaudio timeout 120 "$VOSTREL_BENCH_SYNC" --runs 2 --monitor vostrel_null --first 300 \
  "$VOSTREL_BUILD/testdata/demo.mp3" >"$scratch/out"
code=$?
grep -v '^  late' "$scratch/out"
check "every marker called once, in order, none of the first 300 ms early (exit code $code)" test "$code" -eq 0
check "both runs checked the five markers of the first 300 ms" \
  test "$(grep -c 'the first 300 ms: 5 markers, .*: none early$' "$scratch/out")" -eq 2
finish
