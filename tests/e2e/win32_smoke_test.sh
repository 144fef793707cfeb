#!/usr/bin/env bash
# Cross-builds the Win32 platform smoke test, runs it under Wine in a 1024x768 virtual desktop with sound
# going into a PulseAudio null sink, and checks its imports. Exit 77 when this machine runs no Wine.
# Usage: win32_smoke_test.sh [BUILD_DIR [MUSIC.mp3]]
# Without MUSIC.mp3 it encodes a test track of its own; with a host build, pass its demo.mp3 too.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${1:-$source_dir/build-win-smoke}
music=${2:-}
source "$here/lib.sh"
source "$here/wine_env.sh"

wine_env_start "$build"
status=$?
[ "$status" -eq 0 ] || exit "$status"
echo "wine: $WINE_ENV_ARCH prefix in $WINEPREFIX, display $DISPLAY"

# The program ships for i686; where only wine64 runs, the same sources are built for x86-64 to run them.
build_for() {  # build_for TRIPLE FOLDER
  cmake -S "$source_dir/tests/platform" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-$1.cmake" \
    >"$2.configure.log" 2>&1 && cmake --build "$2" -j2 >"$2.build.log" 2>&1
}
check "i686 smoke test builds" build_for i686-w64-mingw32 "$build/i686"
check "i686 smoke test imports only XP-era system functions" "$here/imports_test.sh" "$build/i686/win32_smoke.exe"
# The checker itself: a program that imports GetTickCount64 (Vista) must fail it.
printf '#include <windows.h>\nextern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);\nint main() { return (int)GetTickCount64(); }\n' \
  >"$scratch/vista.cpp"
i686-w64-mingw32-g++ -static "$scratch/vista.cpp" -o "$scratch/vista.exe"
check "imports test rejects GetTickCount64" bash -c "! '$here/imports_test.sh' '$scratch/vista.exe' >/dev/null"

if [ "$WINE_ENV_ARCH" = win32 ]; then
  exe=$build/i686/win32_smoke.exe
else
  check "x86-64 smoke test builds" build_for x86_64-w64-mingw32 "$build/x86_64"
  exe=$build/x86_64/win32_smoke.exe
fi

run_smoke() {  # run_smoke NAME MUSIC: the smoke test on one track, the sink's monitor recorded meanwhile
  local name=$1 track=$2 dir=$scratch/$1
  mkdir -p "$dir"
  cp "$track" "$dir/music.mp3"
  # The reference: libmpg123's gapless decode, which trims what the LAME tag says.
  mpg123 -q -s "$dir/music.mp3" >"$dir/reference.raw"
  parec -d vostrel_null.monitor --format=s16le --rate=44100 --channels=2 --raw >"$dir/heard.raw" 2>/dev/null &
  local recorder=$!
  (cd "$dir" && timeout 300 "$WINE" "$exe" music.mp3 reference.raw . >out.txt 2>err.txt)
  local code=$?
  sleep 1  # what the sink played last reaches the recorder
  kill "$recorder" 2>/dev/null
  wait "$recorder" 2>/dev/null
  sed 's/^/  /' "$dir/out.txt"
  check "$name: smoke test ends with exit code 0 (was $code)" [ "$code" -eq 0 ]
  check "$name: every check passed" grep -qx '[0-9]* passed, 0 failed' "$dir/out.txt"
  check "$name: failure line on standard error" grep -qx 'vostrel: smoke line' "$dir/err.txt"
  # What the output says it played must have reached the sink: the 440 Hz tone. Only half of it is
  # demanded: on a busy machine the monitor's recorder falls behind and drops what it could not take.
  local played heard
  played=$(sed -n 's/^audio: .* pulled in .* pulls, \([0-9]*\) played .*/\1/p' "$dir/out.txt")
  heard=$(python3 - "$dir/heard.raw" <<'PY'
import sys, array
a = array.array('h'); a.frombytes(open(sys.argv[1], 'rb').read())
print(sum(1 for i in range(0, len(a) - 1, 2) if abs(a[i]) > 100))
PY
)
  echo "  sink: $heard frames of tone heard, output said $played played"
  check "$name: the sink heard what the output played" \
    python3 -c "import sys; p, h = int('${played:-0}'), int('${heard:-0}'); sys.exit(not (p > 0 and 0.5 * p < h < 1.05 * p + 4410))"
}

(cd "$scratch" && timeout 120 "$WINE" "$exe" --windowed >windowed.txt 2>&1)
code=$?
sed 's/^/  /' "$scratch/windowed.txt"
check "windowed window, resize reported, close quits (exit code $code)" [ "$code" -eq 0 ]

# The mode switch fails: its box must be answered before start-up goes on. Wine draws its windows inside
# the one X window of its virtual desktop, so the key goes to that, and from there to the box.
(for _ in 1 2 3 4 5 6 7 8 9 10; do sleep 2; xdotool key Return 2>/dev/null; done) &
presser=$!
(cd "$scratch" && timeout 120 "$WINE" "$exe" --bad-mode >bad-mode.txt 2>&1)
code=$?
kill "$presser" 2>/dev/null
wait "$presser" 2>/dev/null
sed 's/^/  /' "$scratch/bad-mode.txt"
check "display mode not to be had: box, quit with code 1, desktop given back (exit code $code)" [ "$code" -eq 0 ]

# A track of our own, not periodic, so any misalignment shows: a sweep, encoded with a LAME tag.
sox -n -r 44100 -c 2 -b 16 "$scratch/sweep.wav" synth 6 sine 100-6000 gain -6
ffmpeg -v error -y -i "$scratch/sweep.wav" -c:a libmp3lame -b:a 128k "$scratch/sweep.mp3"
run_smoke sweep "$scratch/sweep.mp3"
[ -n "$music" ] && run_smoke "$(basename "$music" .mp3)" "$music"

finish
