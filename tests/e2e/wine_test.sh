# Guards the Windows program, run under Wine, against a test track that does not end at 85 with exit code 0,
# Escape that does not end the run, failures (missing music, a bad image and its "Error" box) that do not exit
# with 1, a title that does not collapse to its line, and a desktop not given back after any run. The virtual
# desktop is larger than 1024x768, so that both the switch to that mode and its undoing show.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/wine_env.sh"
desktop=1280x1024
if wine_env_can_run_32; then exe=$VOSTREL_WIN32_DIR/vostrel.exe; else exe=$VOSTREL_WIN64_DIR/vostrel.exe; fi
[ -f "$exe" ] || { echo "skipped: $exe is not built (scripts/test builds it)"; exit 77; }
wine_env_start "$(dirname "$exe")" "$desktop" || exit $?
echo "$exe under $WINE_ENV_ARCH Wine, prefix $WINEPREFIX, display $DISPLAY"

# run FOLDER SECONDS [ACTION]: the program in FOLDER in the background while ACTION runs; its exit code.
run() {
  local dir=$1 limit=$2 pid
  (cd "$dir" && exec "$WINE" "$exe" >"$dir/out" 2>"$dir/err") &
  pid=$!
  [ -n "${3:-}" ] && "$3"
  wait_exit "$pid" "$limit"
}
desktop_back() { check "the desktop is $desktop again" test "$(wine_env_desktop_size)" = "$desktop"; }
assets() {  # assets NAME: a folder with the test track and the images
  mkdir -p "$scratch/$1" && cp -r "$VOSTREL_BUILD/testdata/." "$scratch/$1/"
}

assets track
VOSTREL_STATS=1 run "$scratch/track" 60
code=$?
cat "$scratch/track/err"
check "the test track plays to its end with exit code 0 (was $code)" test "$code" -eq 0
check "its last count is 85" grep -q 'last count 85\b' "$scratch/track/err"
desktop_back

# Five markers only: the count stays at 6, where the title has collapsed to a bright line on black.
assets line
printf ';FFMETADATA1\n' >"$scratch/five.txt"
for n in 1 2 3 4 5; do printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=m%d\n' $((n * 100)) $((n * 100 + 50)) "$n"; done >>"$scratch/five.txt"
ffmpeg -v error -y -i "$scratch/line/demo.mp3" -i "$scratch/five.txt" -map 0:a -map_chapters 1 -c copy \
  -id3v2_version 3 "$scratch/five.mp3" && mv "$scratch/five.mp3" "$scratch/line/demo.mp3"
look_and_escape() {
  wait_for_window Vostrel >/dev/null && sleep 2
  # The line forms over about a second once the count is 6; a frame is taken each second until it shows.
  for _ in $(seq 15); do
    sleep 1
    check_size=$(wine_env_desktop_size)
    timeout 10 import -window root -crop 1024x768+0+0 "$scratch/line.png" 2>/dev/null || continue
    # The bright pixels' box, and how many pixels outside it are not black.
    box=$(convert "$scratch/line.png" -colorspace gray -threshold 60% -format '%@' info: 2>/dev/null)
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || continue
    [ "${BASH_REMATCH[1]}" -ge 16 ] && [ "${BASH_REMATCH[2]}" -le 4 ] && break
  done
  timeout 10 xdotool key Escape
}
run "$scratch/line" 30 look_and_escape
code=$?
echo "bright pixels: ${box:-none}; desktop during the run: ${check_size:-?}"
check "the program switched the desktop to 1024x768" test "${check_size:-}" = 1024x768
check "count 6 shows a bright horizontal line" test "${BASH_REMATCH[1]:-0}" -ge 16 -a "${BASH_REMATCH[2]:-9}" -le 4
check "across the middle of the screen" test "${BASH_REMATCH[4]:-0}" -ge 374 -a "${BASH_REMATCH[4]:-0}" -le 390
stray=$(convert "$scratch/line.png" -fill black -draw "rectangle 0,370 1023,398" -colorspace gray -threshold 15% \
  -format '%[fx:mean*w*h]' info: 2>/dev/null)
check "on black (${stray:-?} pixels elsewhere are not)" test "${stray:-1}" = 0
check "Escape ends the run with exit code 0 (was $code)" test "$code" -eq 0
desktop_back

assets no-music
rm "$scratch/no-music/demo.mp3"
run "$scratch/no-music" 60
code=$?
cat "$scratch/no-music/err"
check "a missing demo.mp3 ends the run with exit code 1 (was $code)" test "$code" -eq 1
check "and says which file" grep -q 'demo.mp3' "$scratch/no-music/err"
desktop_back

assets bad-image
printf 'BM this is no bitmap' >"$scratch/bad-image/Data/tessary.bmp"
answer_box() {
  box=$(wait_for_window Error) && sleep 0.5 && timeout 10 xdotool key Return
}
run "$scratch/bad-image" 60 answer_box
code=$?
check "a bad image shows a box titled Error" test -n "${box:-}"
check "and ends the run with exit code 1 (was $code)" test "$code" -eq 1
desktop_back
# The author's preview on the same platform layer: a jump to every marker of the test track, each heard from
# its own frame (waveOut and ACM from the middle of the stream), reloads, and play after a jump; in a window,
# the desktop left as it was.
preview=$(dirname "$exe")/vostrel-preview.exe
assets preview
(cd "$scratch/preview" && "$WINE" "$preview" --bench >"$scratch/preview/out" 2>"$scratch/preview/err") &
wait_exit $! 180
code=$?
grep -v '^reloaded' "$scratch/preview/out"; cat "$scratch/preview/err"
check "vostrel-preview.exe jumps to every marker and hears each (exit code $code)" test "$code" -eq 0
check "and measures its sync points after a jump" grep -q 'sync points in 20 s after a jump' "$scratch/preview/out"
desktop_back
finish
