# Guards against a demo that stops short of its script with the default assets, or plays off the music's length.
. "$(dirname "$0")/lib.sh"
cd "$VOSTREL_BUILD"
length=$("$VOSTREL_INSPECT" markers demo.mp3 | sed -n 's/^duration: *\([0-9]*\):\([0-9.]*\).*/\1 \2/p' | awk '{print $1 * 60 + $2}')
echo "music: $length s"
start=$(date +%s%N)
VOSTREL_STATS=1 timeout 400 "$VOSTREL" 2>"$scratch/err"
code=$?
took=$(awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.1f", (b - a) / 1e9 }')
cat "$scratch/err"
echo "ran for $took s"
check "the demo ends by itself with exit code 0" test "$code" -eq 0
check "after the whole timeline" grep -q 'last count 85' "$scratch/err"
# The program's own time from the music's start to its end, so that a slow start on a busy machine is not
# counted. SDL's dummy output takes a buffer every whole 11 ms instead of 11.6: it plays about 5 % fast.
played=$(sed -n 's/^vostrel: [0-9]* frames in \([0-9.]*\) s .*/\1/p' "$scratch/err")
check "within a few seconds of the music's end (${played:-?} s)" \
  awk -v t="${played:-0}" -v m="$length" 'BEGIN { exit !(t > m * 0.93 && t < m + 3) }'
finish
