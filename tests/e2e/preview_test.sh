# Guards the author's preview against a start at the wrong place, keys that do not move it, a pause that goes
# on drawing, an edit on disk that is not picked up, a bad picture that ends it, and Escape not ending it with 0.
# Runs the real vostrel-preview in a real X window on a copy of the default assets (the greetings are counts
# 66 to 73, each a whole-frame picture).
. "$(dirname "$0")/lib.sh"
cd "$scratch"
cp "$VOSTREL_BUILD/demo.mp3" . && cp -r "$VOSTREL_BUILD/Data" .
export SDL_VIDEODRIVER=x11
start_xvfb 1280x1024x24 || { echo "FAILED: no Xvfb"; exit 1; }

shot() {  # shot FILE: the preview's window as a PNG
  timeout 10 import -window "$win" "$1" 2>/dev/null
}
# The greetings as they should fill the picture below the overlay (rows 200 on), made once from the files as
# they are before any edit.
for g in talvo pirsek mondal quesh; do
  convert "Data/greets/$g.bmp" -resize '1024x768!' -crop 1024x568+0+200 +repage "$scratch/want-$g.png"
done
# How far a shot is from a greeting below the overlay: ImageMagick's normalised mean error.
error_to() {  # error_to SHOT NAME
  convert "$1" -crop 1024x568+0+200 +repage "$scratch/got.png" 2>/dev/null
  compare -metric MAE "$scratch/got.png" "$scratch/want-$2.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/'
}
# The greeting on screen is the one given: nearer to it than to any other greeting by a wide margin.
shows() {  # shows SHOT NAME
  local own other worst=1 g
  own=$(error_to "$1" "$2")
  for g in talvo pirsek mondal quesh; do
    [ "$g" = "$2" ] && continue
    other=$(error_to "$1" "$g")
    worst=$(awk -v a="$other" -v b="$worst" 'BEGIN { print (a < b) ? a : b }')
  done
  echo "  $2: error $own, nearest other greeting $worst"
  awk -v a="$own" -v b="$worst" 'BEGIN { exit !(a < 0.05 && a * 3 < b) }'
}
wait_for_line() {  # wait_for_line PATTERN SECONDS: until the preview's output has a line matching it
  for _ in $(seq $(($2 * 10))); do
    grep -q "$1" "$scratch/out" && return 0
    sleep 0.1
  done
  return 1
}
settle() {  # settle NAME: until the shot shows the greeting (a jump is drawn at once; the screen follows)
  for _ in $(seq 40); do
    shot "$scratch/now.png" && shows "$scratch/now.png" "$1" >/dev/null && return 0
    sleep 0.25
  done
  shot "$scratch/now.png"; shows "$scratch/now.png" "$1"
}

"$VOSTREL_PREVIEW" --at 66 >"$scratch/out" 2>&1 &
pid=$!
win=$(wait_for_window "Vostrel preview")
check "a window titled Vostrel preview appears" test -n "$win"
# Paused at once: the greetings are two seconds apart, and a busy machine may take longer than that to look.
timeout 10 xdotool key --window "$win" space
check "--at 66 starts on the first greeting" settle talvo
timeout 10 xdotool key --window "$win" Right
check "Right goes on to count 67, the second greeting" settle pirsek
shot "$scratch/paused1.png"; sleep 1; shot "$scratch/paused2.png"
differ=$(compare -metric AE "$scratch/paused1.png" "$scratch/paused2.png" null: 2>&1)
check "paused, two shots a second apart are the same (pixels differing: $differ)" test "$differ" = 0

# An edit of the markers: the second greeting's marker renamed, same length. The preview reloads by itself and
# goes on from the same marker, with the new caption.
python3 -c "
data = open('demo.mp3', 'rb').read()
for old, new in ((b'greets: pirsek', b'greets: PIRSEK'),
                 ('greets: pirsek'.encode('utf-16-le'), 'greets: PIRSEK'.encode('utf-16-le'))):
    data = data.replace(old, new)
open('demo.mp3.new', 'wb').write(data)
"
mv demo.mp3.new demo.mp3
check "the renamed marker is picked up by itself (reloaded at count 67 with the new name)" \
  wait_for_line 'reloaded: count 67 "greets: PIRSEK"' 30
shot "$scratch/renamed.png"
overlay=$(compare -metric AE -extract 700x100+0+0 "$scratch/paused2.png" "$scratch/renamed.png" null: 2>&1)
check "the overlay changed with it ($overlay pixels)" test "${overlay:-0}" -gt 0

# A bad edit: a picture that no longer loads. The reason is shown and the preview goes on with what it had.
cp Data/greets/pirsek.bmp "$scratch/pirsek.bmp"
printf 'BMnot a picture' >Data/greets/pirsek.bmp
check "a broken picture is reported with its reason" wait_for_line 'reload failed: .*Data/greets/pirsek.bmp' 30
check "the preview still runs" kill -0 "$pid"
check "and still shows the greeting it had" settle pirsek
# Played on, the picture below the overlay moves on from the second greeting (to the third, two seconds later).
moved_on() {
  for _ in $(seq 40); do
    shot "$scratch/now.png"
    convert "$scratch/now.png" -crop 1024x568+0+200 +repage "$scratch/got.png"
    convert "$scratch/paused2.png" -crop 1024x568+0+200 +repage "$scratch/was.png"
    [ "$(compare -metric AE "$scratch/got.png" "$scratch/was.png" null: 2>&1)" != 0 ] && return 0
    sleep 0.25
  done
  return 1
}
timeout 10 xdotool key --window "$win" space
check "Space plays on from there" moved_on

# A resized window: the picture at 4:3 in the middle, black bars beside it; keys still reach the preview.
timeout 10 xdotool windowsize "$win" 1200 600
bars() {  # the columns left of x=150 and right of x=1050 are black, the middle is not
  for _ in $(seq 40); do
    shot "$scratch/wide.png"
    size=$(identify -format '%wx%h' "$scratch/wide.png" 2>/dev/null)
    # Below the overlay, which lies over the left bar.
    left=$(convert "$scratch/wide.png" -crop 150x450+0+150 -format '%[fx:maxima]' info: 2>/dev/null)
    right=$(convert "$scratch/wide.png" -crop 150x450+1050+150 -format '%[fx:maxima]' info: 2>/dev/null)
    middle=$(convert "$scratch/wide.png" -crop 800x400+200+150 -format '%[fx:maxima]' info: 2>/dev/null)
    [ "$size" = 1200x600 ] && [ "$left" = 0 ] && [ "$right" = 0 ] && [ "$middle" != 0 ] && return 0
    sleep 0.25
  done
  echo "  window $size, bars' brightest $left and $right, middle $middle"
  return 1
}
check "resized to 1200x600, the picture is 800x600 between black bars" bars
timeout 10 xdotool key --window "$win" h
sleep 1
shot "$scratch/hidden.png"
overlay=$(compare -metric AE -extract 700x100+150+0 "$scratch/wide.png" "$scratch/hidden.png" null: 2>&1)
check "and H still hides the overlay ($overlay pixels changed)" test "${overlay:-0}" -gt 0

timeout 10 xdotool key --window "$win" Escape
wait_exit "$pid" 30
check "Escape ends the preview with exit code 0" test $? -eq 0
sed 's/^/  | /' "$scratch/out"

# The last marker, where the demo itself would end: the preview holds there until the author quits.
cp "$scratch/pirsek.bmp" Data/greets/pirsek.bmp
"$VOSTREL_PREVIEW" --at 84 >"$scratch/out" 2>&1 &
pid=$!
win=$(wait_for_window "Vostrel preview")
# The window opens before the files are read: a shot taken before the first picture would show no lines.
check "from --at 84 the first picture comes at count 84" wait_for_line 'started: count 84 "last chord"' 60
# The lines turn with every frame drawn: paused, nothing moves; '.' moves them one frame.
timeout 10 xdotool key --window "$win" space
sleep 1
shot "$scratch/lines1.png"; sleep 1; shot "$scratch/lines2.png"
differ=$(compare -metric AE -extract 1024x568+0+200 "$scratch/lines1.png" "$scratch/lines2.png" null: 2>&1)
check "paused in the turning lines, two shots a second apart are the same (pixels differing: $differ)" test "$differ" = 0
timeout 10 xdotool key --window "$win" period
sleep 1
shot "$scratch/lines3.png"
differ=$(compare -metric AE -extract 1024x568+0+200 "$scratch/lines2.png" "$scratch/lines3.png" null: 2>&1)
check "and '.' steps them one frame on ($differ pixels changed)" test "${differ:-0}" -gt 0
# Left to count 83 (2:54), then on: the end comes with the last marker, 5.5 s of music later, and no sooner,
# at any speed: a marker counted twice after the jump would bring it a second later.
timeout 10 xdotool key --window "$win" Left
sleep 0.5
timeout 10 xdotool key --window "$win" space
resumed=$(date +%s.%N)
check "played from count 83, the end of the script is reached" wait_for_line 'the demo ends here (count 85)' 40
took=$(awk -v a="$resumed" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
check "after the music between them ($took s, at least 5.5 less the polling)" awk -v t="$took" 'BEGIN { exit !(t >= 5) }'
sleep 1
check "and the preview holds there" kill -0 "$pid"
timeout 10 xdotool key --window "$win" Escape
wait_exit "$pid" 30
check "until Escape (exit code 0)" test $? -eq 0
finish
