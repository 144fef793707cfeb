# Guards the program against calling an OpenGL entry point beyond OpenGL 1.1 and GLU.
. "$(dirname "$0")/lib.sh"
gl_header=/usr/include/GL/gl.h
# Everything gl.h declares before its OpenGL 1.2 section is 1.0 or 1.1.
sed -n '1,/OpenGL 1\.2/p' "$gl_header" | grep -o '\bgl[A-Z][A-Za-z0-9]*\s*(' | tr -d ' (' | sort -u >"$scratch/gl11"
nm -D --undefined-only "$VOSTREL" | awk '{print $NF}' | sed 's/@.*//' | grep '^gl[A-Z]' | sort -u >"$scratch/used"
check "the 1.1 list was read from gl.h" test "$(wc -l <"$scratch/gl11")" -gt 300
check "the program calls OpenGL" test -s "$scratch/used"
beyond=$(comm -23 "$scratch/used" "$scratch/gl11")
[ -n "$beyond" ] && echo "beyond OpenGL 1.1: $beyond"
check "every OpenGL call is 1.1" test -z "$beyond"
glu=$(nm -D --undefined-only "$VOSTREL" | awk '{print $NF}' | grep -c '^glu' || true)
echo "GLU entry points used: $glu"
finish
