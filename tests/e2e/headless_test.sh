# The real program on the headless drivers: it draws frames at the limiter's pace and ends cleanly.
. "$(dirname "$0")/lib.sh"
cd "$scratch"
for f in demo.mp3 Data; do [ -e "$VOSTREL_BUILD/$f" ] && ln -s "$VOSTREL_BUILD/$f" .; done

VOSTREL_STATS=1 "$VOSTREL" 2>"$scratch/err" &
pid=$!
sleep 3
kill -TERM "$pid"  # arrives as a close request
wait_exit "$pid" 10
check "a close request ends the run with exit code 0" test $? -eq 0
frames=$(sed -n 's/^vostrel: \([0-9]*\) frames.*/\1/p' "$scratch/err")
rate=$(sed -n 's/.*(\([0-9.]*\) per second).*/\1/p' "$scratch/err")
echo "frames: $frames, rate: $rate per second"
check "frames were drawn" test "${frames:-0}" -gt 30
check "never more than 100 frames a second" awk -v r="${rate:-999}" 'BEGIN { exit !(r <= 101) }'
finish
