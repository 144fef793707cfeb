# Runs the browser build's page test (page_test.mjs) in headless chromium, with the desktop's frames of the
# same moments from vostrel-capture to compare with; skipped (77) until scripts/build-web has made the page.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# Each scene, with a credit, the wire grid, a caption, a greeting and a closing text among them.
capture_moments=1:100,3:150,5:60,12:120,40:60,62:60,66:1,75:120
[ -f "$VOSTREL_WEB_DIST/index.html" ] || { echo "no page at $VOSTREL_WEB_DIST (scripts/build-web makes it)"; exit 77; }
[ -f "$VOSTREL_WEB_BUILD/vostrel-capture-web.js" ] || { echo "no $VOSTREL_WEB_BUILD/vostrel-capture-web.js"; exit 77; }
[ -x /usr/bin/chromium ] || { echo "no chromium"; exit 77; }
# The driver from npm, at the versions the top folder's lock file pins; nothing of it is kept in the tree.
top=$(cd "$here/../.." && pwd)
if [ ! -d "$top/node_modules/puppeteer-core" ]; then
  (cd "$top" && npm ci --no-audit --no-fund --loglevel=error) || exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The desktop's frames of the same moments, as raw RGB rows.
mkdir "$scratch/desktop" && cd "$scratch/desktop"
ln -s "$VOSTREL_BUILD/Data" . && ln -s "$VOSTREL_BUILD/demo.mp3" .
"$VOSTREL_CAPTURE" "$scratch/desktop" ${capture_moments//,/ } >/dev/null || { echo "FAILED: vostrel-capture"; exit 1; }
for png in "$scratch"/desktop/count-*.png; do convert "$png" -depth 8 "rgb:${png%.png}.rgb"; done
cd "$here"
node page_test.mjs "$VOSTREL_WEB_DIST" "$VOSTREL_BUILD/testdata" "$VOSTREL_WEB_BUILD" "$capture_moments" "$scratch/desktop"
