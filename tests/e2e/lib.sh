# Shared helpers of the end-to-end scripts: checks, a scratch folder, Xvfb, a PulseAudio server of their own.
set -u
failures=0
checks=0
check() {  # check DESCRIPTION COMMAND...: one named check
  local what=$1; shift
  checks=$((checks + 1))
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" -eq 0 ]
}
scratch=$(mktemp -d)
xvfb_pid=
pulse_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
start_xvfb() {  # start_xvfb WxHxD: a fresh X server on a free display, exported as DISPLAY once it takes connections
  local out=$scratch/xvfb-display
  : >"$out"
  # Xvfb picks a free display and writes its number only when it accepts connections; a client started
  # before that finds no X server, and SDL would fall back to another video driver. -noreset: by default
  # an X server resets itself each time its last client leaves, and refuses the clients that come meanwhile.
  Xvfb -displayfd 3 -noreset -screen 0 "$1" -nolisten tcp 3>"$out" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    if [ -s "$out" ]; then
      export DISPLAY=:$(head -1 "$out")
      timeout 5 xdpyinfo >/dev/null 2>&1 && return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$xvfb_pid" 2>/dev/null
  return 1
}
start_pulse() {  # start_pulse DIR: a PulseAudio server of our own whose only sink is the null sink vostrel_null
  export PULSE_RUNTIME_PATH=$1 PULSE_SERVER=unix:$1/native
  rm -rf "$PULSE_RUNTIME_PATH" && mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
    --load="module-null-sink sink_name=vostrel_null" >"$PULSE_RUNTIME_PATH/log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do
    timeout 5 pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
wait_for_window() {  # wait_for_window NAME: prints the id of the first window so named
  local id
  for _ in $(seq 300); do  # 30 s: start-up is slow under the sanitizers on a busy machine
    id=$(timeout 10 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
wait_exit() {  # wait_exit PID SECONDS: the process's exit code, or 124 if it is still running
  local pid=$1 limit=$2
  for _ in $(seq $((limit * 10))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  return 124
}
