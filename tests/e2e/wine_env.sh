# Sourceable helper for tests of the Windows build: a Wine prefix per build folder with a 1024x768 virtual
# desktop, an Xvfb display and a PulseAudio null sink, all cleaned up on exit.
#
#   source tests/e2e/wine_env.sh
#   wine_env_start BUILD_DIR [win32|win64] || exit 77   # 77: this machine cannot run that Wine
#   wine_run prog.exe args...                            # returns the program's exit code
#
# Without an arch it takes win32 where the kernel runs 32-bit x86 code, win64 elsewhere (some kernels have
# IA-32 emulation switched off, and wine32 cannot start at all there). WINE_ENV_ARCH says which it took;
# a win64 prefix runs only x86-64 programs.

wine_env_xvfb_pid=
wine_env_pulse_started=
wine_env_prefix_started=

wine_env_log() { echo "wine_env: $*" >&2; }

# Whether this kernel runs 32-bit x86 programs (the wine32 loader is one).
wine_env_can_run_32() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

wine_env_start_xvfb() {
  local n
  for n in $(seq 150 199); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    wine_env_xvfb_pid=$!
    # The socket appears before the server takes connections: wait until a client gets through.
    for _ in $(seq 100); do
      if DISPLAY=:$n timeout 5 xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=:$n
        return 0
      fi
      kill -0 "$wine_env_xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$wine_env_xvfb_pid" 2>/dev/null
    wait "$wine_env_xvfb_pid" 2>/dev/null
    wine_env_xvfb_pid=
  done
  wine_env_log "cannot start Xvfb"
  return 1
}

wine_env_start_pulse() {
  if timeout 5 pactl info >/dev/null 2>&1; then return 0; fi
  pulseaudio -D --exit-idle-time=-1 >/dev/null 2>&1 || { wine_env_log "cannot start PulseAudio"; return 1; }
  wine_env_pulse_started=1
  for _ in $(seq 50); do
    timeout 5 pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  # No sound card: everything played goes into a sink whose monitor can be recorded.
  pactl load-module module-null-sink sink_name=vostrel_null >/dev/null &&
    pactl set-default-sink vostrel_null || { wine_env_log "cannot load the null sink"; return 1; }
}

# Makes the prefix once; its first start takes long, so later runs reuse it.
wine_env_make_prefix() {
  [ -f "$WINEPREFIX/.vostrel-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1 || { wine_env_log "wineboot failed"; return 1; }
  "$WINESERVER" -w
  # The desktop is written while no wineserver runs, so the first program of a run already finds it:
  # every window then lives in one 1024x768 virtual desktop, whose size is the only display mode.
  cat >>"$WINEPREFIX/user.reg" <<'REG'

[Software\\Wine\\Explorer]
"Desktop"="Default"

[Software\\Wine\\Explorer\\Desktops]
"Default"="1024x768"
REG
  touch "$WINEPREFIX/.vostrel-ready"
}

wine_env_cleanup() {
  if [ -n "$wine_env_prefix_started" ]; then
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
  fi
  if [ -n "$wine_env_xvfb_pid" ]; then
    kill "$wine_env_xvfb_pid" 2>/dev/null
    wait "$wine_env_xvfb_pid" 2>/dev/null
  fi
  [ -n "$wine_env_pulse_started" ] && pulseaudio -k >/dev/null 2>&1
  wine_env_prefix_started= wine_env_xvfb_pid= wine_env_pulse_started=
}

wine_env_start() {
  local build=$1 arch=${2:-}
  if [ -z "$arch" ]; then
    if wine_env_can_run_32; then arch=win32; else arch=win64; fi
  fi
  case $arch in
    win32)
      wine_env_can_run_32 || { wine_env_log "this kernel runs no 32-bit x86 code: wine32 cannot start"; return 77; }
      WINE=wine ;;
    win64)
      [ -x /usr/lib/wine/wine64 ] || { wine_env_log "wine64 is not installed"; return 77; }
      # Debian's wine wrapper prefers wine32 whenever it is installed, even where it cannot run.
      WINE=/usr/lib/wine/wine64
      export WINELOADER=$WINE ;;
    *) wine_env_log "unknown arch $arch"; return 1 ;;
  esac
  WINESERVER=wineserver
  export WINE WINESERVER WINE_ENV_ARCH=$arch
  export WINEARCH=$arch WINEDEBUG=${WINEDEBUG:--all} WINEPREFIX="$(realpath -m "$build")/wine-prefix-$arch"

  # Clean up on exit, after whatever the caller already does then.
  local previous
  previous=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
  # shellcheck disable=SC2064
  trap "wine_env_cleanup; ${previous:-:}" EXIT

  wine_env_start_xvfb || return 1
  wine_env_start_pulse || return 1
  wine_env_prefix_started=1
  wine_env_make_prefix || return 1
}

wine_run() { "$WINE" "$@"; }
