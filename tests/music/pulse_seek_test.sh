# Guards the PulseAudio output against a heard position that lags after a seek or a resume (the frames a stop
# flushed counted as still to play): bench_seek's positions in the 400 ms after seeks and resumes against a null
# sink's recording, beside those of a stretch played on, whose error is the recording's own offset.
. "$(dirname "$0")/../e2e/lib.sh"
[ -n "${VOSTREL_BENCH_SEEK:-}" ] && [ -x "$VOSTREL_BENCH_SEEK" ] || { echo "bench_seek is not built: skipped"; exit 77; }
start_pulse "$scratch/pulse" || { echo "cannot start PulseAudio"; exit 1; }
SDL_AUDIODRIVER=pulseaudio timeout 120 "$VOSTREL_BENCH_SEEK" --targets 6 --monitor vostrel_null \
  "$VOSTREL_BUILD/demo.mp3" >"$scratch/out"
code=$?
cat "$scratch/out"
median() { sed -n "s/^  $1: \([0-9]*\) samples.*error median \([-+0-9.]*\) ms.*/\2/p" "$scratch/out"; }
found() { sed -n "s/^  $1: \([0-9]*\) samples.*/\1/p" "$scratch/out"; }
near() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; exit !(a != "" && b != "" && d <= 3 && d >= -3) }'; }
check "never before a seek's target, held while paused (exit code $code)" test "$code" -eq 0
check "most samples found in the recording" test "$(found 'after a seek')" -ge 40
check "after a seek as when playing on, within 3 ms" near "$(median 'after a seek')" "$(median 'playing on')"
check "after a resume as when playing on, within 3 ms" near "$(median 'after a resume')" "$(median 'playing on')"
finish
