# Guards the Windows decoder's lead and padding: the default track decoded through ACM under Wine (with the
# Info frame, the encoder delay and the decoder's 529 samples cut) and through libmpg123 natively has the same
# length and lines up at lag 0, so the markers fall on the same sound on both platforms.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/wine_env.sh"
if wine_env_can_run_32; then dir=$VOSTREL_WIN32_DIR; else dir=$VOSTREL_WIN64_DIR; fi
exe=$dir/vostrel-decode-track.exe
[ -f "$exe" ] || { echo "skipped: $exe is not built (scripts/test builds it)"; exit 77; }
wine_env_start "$dir" || exit $?
cp "$VOSTREL_BUILD/demo.mp3" "$scratch/"
(cd "$scratch" && "$WINE" "$exe" demo.mp3 acm.raw) >"$scratch/acm.txt" 2>&1
"$VOSTREL_DECODE_TRACK" "$scratch/demo.mp3" "$scratch/mpg.raw" >"$scratch/mpg.txt"
echo "ACM under $WINE_ENV_ARCH Wine: $(cat "$scratch/acm.txt"); libmpg123: $(cat "$scratch/mpg.txt")"
channels=$(sed -n 's/.*channels \([0-9]*\).*/\1/p' "$scratch/mpg.txt")
read -r _ acm mpg _ lag _ r < <("$VOSTREL_DECODE_TRACK" --compare "$scratch/acm.raw" "$scratch/mpg.raw" "${channels:-2}")
echo "frames $acm and $mpg, lag $lag, correlation $r"
check "both decodings hold the same number of frames" test "${acm:-0}" -gt 0 -a "${acm:-0}" = "${mpg:-}"
check "they line up at lag 0" test "${lag:-x}" = 0
check "and agree there (correlation above 0.99)" awk -v r="${r:-0}" 'BEGIN { exit !(r > 0.99) }'
finish
