#!/usr/bin/env bash
# Makes docs/micrtest-report.png, the picture of micrtest's HTML report that
# the README shows: the example cases run without a table, so that the
# differences show, rendered by headless Chromium.  Run it by hand after a
# change to the page; it is not part of the tests.
#   docs/make-screenshot.sh [MICRTEST]   (default: build/programs/micrtest)
set -euo pipefail
cd "$(dirname "$0")/.."
micrtest=${1:-build/programs/micrtest}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/cheques.txt "$work/"
(cd "$work" && "$OLDPWD/$micrtest" --html report.html cheques.txt >/dev/null) || true
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$work/profile" --hide-scrollbars \
  --window-size=1200,900 --virtual-time-budget=5000 --screenshot="$PWD/docs/micrtest-report.png" \
  "file://$work/report.html" 2>/dev/null
echo "wrote docs/micrtest-report.png"
