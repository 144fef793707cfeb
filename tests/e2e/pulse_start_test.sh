# Guards the PulseAudio output against sync points called before their sound is played in the first quarter
# second, while the server has not begun to play what the output queued: the test track's markers at 100 to
# 300 ms go through a null sink of the test's own whose monitor bench_sync records, and none may come earlier
# than the recording shows its frame played, less the recording's own uncertainty. Two runs: the first while
# the fresh sink starts (it can take over a second), the second on a sink already running.
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
