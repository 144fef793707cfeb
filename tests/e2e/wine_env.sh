# Sourceable helper for runs of the Windows program: an Xvfb display, a Wine prefix per build folder whose
# virtual desktop fills it, and a PulseAudio server of our own whose only sink is a null sink; all ended on exit.
#
#   . tests/e2e/lib.sh; . tests/e2e/wine_env.sh
#   wine_env_start PREFIX_FOLDER [WxH] || exit $?   # 77: this machine runs no Wine
#   "$WINE" program.exe                             # WINE_ENV_ARCH says which programs it runs: win32 or win64
#
# Where the kernel runs 32-bit x86 code it takes wine32, which runs the program that ships; elsewhere (IA-32
# emulation off) only wine64 starts, and runs the x86-64 twin. A program that keeps the desktop open between
# runs is started too, so that its size can be read after each run.

wine_env_pids=()
wine_env_log() { echo "wine_env: $*" >&2; }

wine_env_can_run_32() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }

wine_env_cleanup() {
  [ -n "${WINESERVER:-}" ] && { "$WINESERVER" -k; "$WINESERVER" -w; } >/dev/null 2>&1
  local pid
  for pid in "${wine_env_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  wine_env_pids=()
  [ -n "${wine_env_keep:-}" ] && exec {wine_env_keep}>&-
}

wine_env_start_pulse() {  # a server of our own, so that no other one's sinks or clients are touched
  start_pulse "$WINEPREFIX.pulse" && return 0
  wine_env_log "cannot start PulseAudio"
  return 1
}

wine_env_make_prefix() {  # wine_env_make_prefix WxH: once per size, as its first start takes long
  [ -f "$WINEPREFIX/.vostrel-ready-$1" ] && return 0
  rm -rf "$WINEPREFIX" && mkdir -p "$(dirname "$WINEPREFIX")"
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1 || { wine_env_log "wineboot failed"; return 1; }
  "$WINESERVER" -w
  # Written while no wineserver runs: every window then lives in one virtual desktop of the display's size.
  printf '\n[Software\\\\Wine\\\\Explorer]\n"Desktop"="Default"\n\n[Software\\\\Wine\\\\Explorer\\\\Desktops]\n"Default"="%s"\n' \
    "$1" >>"$WINEPREFIX/user.reg"
  touch "$WINEPREFIX/.vostrel-ready-$1"
}

wine_env_start() {  # wine_env_start PREFIX_FOLDER [WxH]
  local size=${2:-1024x768}
  if wine_env_can_run_32; then
    WINE_ENV_ARCH=win32 WINE=/usr/lib/wine/wine
  elif [ -x /usr/lib/wine/wine64 ]; then
    WINE_ENV_ARCH=win64 WINE=/usr/lib/wine/wine64
  else
    wine_env_log "no Wine that this kernel runs"
    return 77
  fi
  # Debian's wine wrapper takes wine32 whenever it is installed, even where it cannot start.
  export WINE WINE_ENV_ARCH WINELOADER=$WINE WINESERVER=/usr/lib/wine/wineserver WINEARCH=$WINE_ENV_ARCH
  export WINEDEBUG=${WINEDEBUG:--all} WINEPREFIX=$(realpath -m "$1")/wine-prefix-$WINE_ENV_ARCH
  local previous
  previous=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
  # shellcheck disable=SC2064
  trap "wine_env_cleanup; ${previous:-:}" EXIT
  start_xvfb "${size}x24" && wine_env_start_pulse && wine_env_make_prefix "$size" || return 1
  # A console program with no window keeps the desktop (and its size) between runs: it reads a pipe that
  # this shell holds open until the end.
  rm -f "$WINEPREFIX.keep" && mkfifo "$WINEPREFIX.keep"
  "$WINE" cmd <"$WINEPREFIX.keep" >/dev/null 2>&1 &
  exec {wine_env_keep}>"$WINEPREFIX.keep"
}

# The virtual desktop's size as WxH, read from its X window.
wine_env_desktop_size() {
  timeout 10 xwininfo -root -tree 2>/dev/null | sed -n 's/.*"Default - Wine desktop".* \([0-9]*x[0-9]*\)+.*/\1/p' | head -1
}
