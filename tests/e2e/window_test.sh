# Guards the shell against a window that is not full screen at (0, 0), keys or clicks that end the run, Escape
# or close that do not, wrong exit codes, and a display mode not given back.
. "$(dirname "$0")/lib.sh"
cd "$scratch"
# The default assets keep the demo running long enough to be poked at.
for f in demo.mp3 Data; do [ -e "$VOSTREL_BUILD/$f" ] && ln -s "$VOSTREL_BUILD/$f" .; done
export SDL_VIDEODRIVER=x11  # never another driver: the checks below are about X windows

start_xvfb 1024x768x24 || { echo "FAILED: no Xvfb"; exit 1; }
mode_before=$(timeout 10 xrandr | head -2)
drawing() {  # drawing: waits until the screen shows more than black, so the loop runs and reads its keys
  local max
  for _ in $(seq 120); do
    max=$(timeout 10 import -window root -depth 8 rgb:- 2>/dev/null |
      convert -size 1024x768 -depth 8 rgb:- -format '%[fx:maxima]' info: 2>/dev/null)
    [ "${max:-0}" != 0 ] && return 0
    sleep 0.5
  done
  return 1
}

"$VOSTREL" 2>"$scratch/err" &
pid=$!
win=$(wait_for_window Vostrel)
check "a window titled Vostrel appears" test -n "$win"
geometry=$(timeout 10 xwininfo -id "$win" 2>/dev/null)
check "at (0, 0)" grep -q 'Absolute upper-left X:  0' <<<"$geometry"
check "1024 wide" grep -q 'Width: 1024' <<<"$geometry"
check "768 high" grep -q 'Height: 768' <<<"$geometry"
check "borderless (no frame around the client area)" grep -q 'Border width: 0' <<<"$geometry"
# Keys sent before the loop runs would wait unread, and a key that wrongly ends the run would seem harmless.
check "the tunnel is being drawn" drawing
timeout 10 xdotool key --window "$win" a space Return F1 2>/dev/null
timeout 10 xdotool mousemove --window "$win" 100 100 click 1 click 3 2>/dev/null
sleep 2
check "other keys and mouse buttons change nothing" kill -0 "$pid"
timeout 10 xdotool key --window "$win" Escape
wait_exit "$pid" 30
check "Escape ends the run with exit code 0" test $? -eq 0
check "the display mode is as before" test "$(timeout 10 xrandr | head -2)" = "$mode_before"
check "nothing was reported" test ! -s "$scratch/err"
cat "$scratch/err"

"$VOSTREL" 2>"$scratch/err" &
pid=$!
win=$(wait_for_window Vostrel)
sleep 0.5
timeout 10 "$VOSTREL_XCLOSE" "$win"
wait_exit "$pid" 30
check "closing the window ends the run with exit code 0" test $? -eq 0
cat "$scratch/err"

# A screen that has no 1024x768 mode: the switch fails, the run ends with 1 and the desktop as it was.
kill "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
start_xvfb 1280x1024x24 || { echo "FAILED: no Xvfb"; exit 1; }
mode_before=$(timeout 10 xrandr | head -2)
"$VOSTREL" 2>"$scratch/err" &
pid=$!
# Where the message box can be shown it waits for its OK button.
box=$(wait_for_window Error) && timeout 10 xdotool key --window "$box" Return
wait_exit "$pid" 40
check "an impossible display mode ends the run with exit code 1" test $? -eq 1
check "the message says why" grep -q "Display Mode Not Compatible" "$scratch/err" -o -n "$box"
check "the display mode is as before" test "$(timeout 10 xrandr | head -2)" = "$mode_before"
finish
