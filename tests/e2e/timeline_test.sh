# Guards the real program against a test-track run that does not end by itself at count 85 with exit code 0, or
# that skips or repeats a sync point on the way. Judged at any frame rate: a slow machine draws fewer frames.
. "$(dirname "$0")/lib.sh"
cd "$VOSTREL_BUILD/testdata"

# The track's length and its markers, as the program will read them.
info=$("$VOSTREL_INSPECT" markers demo.mp3)
to_seconds() { awk -F: '{ print $1 * 60 + $2 }'; }
track=$(sed -n 's/^duration: *\([0-9]*:[0-9.]*\).*/\1/p' <<<"$info" | to_seconds)
markers=$(sed -n 's/^markers: *\([0-9]*\).*/\1/p' <<<"$info")
echo "track: $track s, $markers markers"
check "the test track holds the 84 markers that lead to count 85" test "${markers:-0}" -eq 84

# No kill: without its own quit the run would go on past the music until the timeout.
VOSTREL_STATS=1 timeout 30 "$VOSTREL" >"$scratch/out" 2>"$scratch/err"
code=$?
cat "$scratch/err"
check "the run ends by itself with exit code 0" test "$code" -eq 0
stats=$(grep '^vostrel: ' "$scratch/err")
last=$(sed -n 's/.* last count \(-\?[0-9]*\)$/\1/p' <<<"$stats")
seconds=$(sed -n 's/^vostrel: [0-9]* frames in \([0-9.]*\) s .*/\1/p' <<<"$stats")
frames=$(sed -n 's/^vostrel: \([0-9]*\) frames.*/\1/p' <<<"$stats")
called=$(sed -n 's/^vostrel: \([0-9]*\) sync points called out.*/\1/p' <<<"$stats")
# Count 85 comes with the last marker, so an end before it would show a lower count; each sync point
# raises the count by one, so 84 of them called out from count 1 is the whole sequence, none twice.
check "the last count drawn is 85" test "${last:-0}" -eq 85
check "each of the 84 sync points was called out once (${called:-none})" test "${called:-0}" -eq 84
check "frames were drawn" test "${frames:-0}" -gt 0
# Seconds from the music's start to the end of the loop.
check "within a few seconds of the track's end" awk -v s="${seconds:-99}" -v t="${track:-0}" 'BEGIN { exit !(s <= t + 3) }'
check "nothing else on standard error" test "$(grep -vc '^vostrel: ' "$scratch/err")" -eq 0
check "nothing on standard output" test ! -s "$scratch/out"
finish
