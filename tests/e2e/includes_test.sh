# Guards the layering: the platform layer includes nothing above it, portable files include no platform
# header, and the folders depend one way only (app -> scenes -> gfx, music -> platform).
. "$(dirname "$0")/lib.sh"
cd "$VOSTREL_SOURCE/src"

# FILE-PATTERN INCLUDE-PATTERN DESCRIPTION: no file matching the first includes anything matching the second.
forbid() {
  local hits
  hits=$(grep -nE "^#include +[<\"]($2)" $1 2>/dev/null)
  check "$3" test -z "$hits"
  [ -z "$hits" ] || echo "$hits"
}
portable=$(find app gfx music scenes -name '*.cpp' -o -name '*.h' | grep -vE '_(sdl|posix|mpg123|freetype|win32|winmm|acm|wgl|web)\.cpp$')
forbid "$(find platform -type f)" 'app/|gfx/|music/|scenes/' "the platform layer includes nothing above it"
forbid "$portable" 'emscripten|webgl|SDL|windows\.h|mmsystem|msacm|mpg123|ft2build|freetype|fontconfig|X11|unistd|sys/' \
  "portable files include no platform header"
forbid "$(find gfx music -type f)" 'app/|scenes/' "gfx and music include neither scenes nor app"
forbid "$(find scenes -type f)" 'app/' "scenes include nothing of app"
forbid "$(find platform -name '*.h')" 'SDL|windows\.h|mpg123|ft2build' "the platform headers are portable"
finish
