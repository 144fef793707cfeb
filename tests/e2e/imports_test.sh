#!/usr/bin/env bash
# Checks that a Windows program imports only from the system DLLs Windows XP SP3 has, and only the
# functions on the allowlist, each of which its documentation puts no later than XP SP3.
# Usage: imports_test.sh PROGRAM.exe [ALLOWLIST]
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: imports_test.sh PROGRAM.exe [ALLOWLIST]}
allowlist=${2:-$here/../../cmake/win32_imports.txt}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed_dlls="kernel32.dll user32.dll gdi32.dll opengl32.dll glu32.dll winmm.dll msacm32.dll msvcrt.dll advapi32.dll"

failures=0
checks=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The allowlist itself: three fields or more, and a minimum no later than Windows XP SP3.
checks=$((checks + 1))
bad=$(grep -v -E '^\s*(#|$)' "$allowlist" |
  grep -v -E '^[a-z0-9]+\.dll +[A-Za-z_][A-Za-z0-9_]* +Windows (95|98|NT 3\.1|NT 3\.51|NT 4\.0|2000|XP)( SP[123])?\b')
[ -z "$bad" ] || fail "allowlist entries without a minimum of Windows XP SP3 or earlier:"$'\n'"$bad"

# A 32-bit x86 program: a 64-bit one would not start on the machines we build for.
checks=$((checks + 1))
format=$("$objdump" -f "$exe" 2>/dev/null | sed -n 's/.*file format //p')
if [ "$format" != pei-i386 ]; then
  fail "$exe is ${format:-not a program objdump knows}, not a 32-bit x86 program (pei-i386)"
  echo "$((checks - failures)) passed, $failures failed"
  exit 1
fi

imports=$("$objdump" -p "$exe" | awk '
  /^\tDLL Name:/ { dll = tolower($3); next }
  /^[^\t]/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_]/ { print dll, $NF }
  dll != "" && /^\t[0-9a-f]+\t *<none> +[0-9]+/ { print dll, "ordinal-" $NF }')
[ -n "$imports" ] || fail "no imports found in $exe"

while read -r dll; do
  checks=$((checks + 1))
  case " $allowed_dlls " in
    *" $dll "*) ;;
    *) fail "imports from $dll, which is not a system DLL we may use" ;;
  esac
done < <(echo "$imports" | awk '{print $1}' | sort -u)

allowed=$(grep -v -E '^\s*(#|$)' "$allowlist" | awk '{print tolower($1), $2}' | sort -u)
while read -r dll function; do
  checks=$((checks + 1))
  grep -qxF "$dll $function" <<<"$allowed" || fail "imports $dll $function, which is not on the allowlist"
done <<<"$imports"

echo "imports of $(basename "$exe"): $(echo "$imports" | wc -l) functions from $(echo "$imports" | awk '{print $1}' | sort -u | tr '\n' ' ')"
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
