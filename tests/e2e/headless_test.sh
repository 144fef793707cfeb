# Guards the real program on the headless drivers against frames beyond the limiter's pace, frames queued unfinished
# (the exit then waits for all of them), a close request or a failure (no music, no sound output, a display mode that does not take) ending with the wrong code or message.
. "$(dirname "$0")/lib.sh"
cd "$scratch"
for f in demo.mp3 Data; do [ -e "$VOSTREL_BUILD/$f" ] && ln -s "$VOSTREL_BUILD/$f" .; done

VOSTREL_STATS=1 "$VOSTREL" 2>"$scratch/err" &
pid=$!
sleep 8  # start-up under the sanitizers on a busy machine can take seconds
kill -TERM "$pid"  # arrives as a close request
asked=$(date +%s%N)
wait_exit "$pid" 30
check "a close request ends the run with exit code 0" test $? -eq 0
# Frames left queued in the renderer would hold the exit for seconds for every second of the run (16 s after 12 s
# here); a loaded machine under the sanitizers needs well under one.
took=$(awk -v a="$asked" -v b="$(date +%s%N)" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
check "and within 5 s of it ($took s)" awk -v t="$took" 'BEGIN { exit !(t < 5) }'
frames=$(sed -n 's/^vostrel: \([0-9]*\) frames.*/\1/p' "$scratch/err")
rate=$(sed -n 's/.*(\([0-9.]*\) per second).*/\1/p' "$scratch/err")
echo "frames: $frames, rate: $rate per second"
check "frames were drawn" test "${frames:-0}" -gt 0
check "never more than 100 frames a second" awk -v r="${rate:-999}" 'BEGIN { exit !(r <= 101) }'

# Without its music the run ends at once with 1, one line saying why and no message box.
mkdir "$scratch/nomusic" && cd "$scratch/nomusic"
[ -e "$VOSTREL_BUILD/Data" ] && ln -s "$VOSTREL_BUILD/Data" .
timeout 20 "$VOSTREL" >"$scratch/out" 2>"$scratch/err"
check "a missing demo.mp3 ends the run with exit code 1" test $? -eq 1
check "with one line on standard error naming the file" \
  test "$(wc -l <"$scratch/err")" -eq 1 -a -n "$(grep demo.mp3 "$scratch/err")"
check "and no message box" test -z "$(grep '^Error' "$scratch/err")"
ln -s "$VOSTREL_BUILD/demo.mp3" .
SDL_AUDIODRIVER=no-such-output timeout 20 "$VOSTREL" 2>"$scratch/err"
check "no sound output ends the run with exit code 1" test $? -eq 1
check "with one line saying why" test "$(wc -l <"$scratch/err")" -eq 1
cat "$scratch/err"

# A display mode that is listed but does not take: its message, the desktop given back, exit code 1.
for mode in 800x600 1024x600; do
  VOSTREL_TEST_MODE=$mode timeout 20 "$VOSTREL" 2>"$scratch/err"
  check "a mode switch that gave $mode ends the run with exit code 1" test $? -eq 1
  check "after its message" grep -qx 'Error: Display Mode Not Compatible' "$scratch/err"
done

finish
