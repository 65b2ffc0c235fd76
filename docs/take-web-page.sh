#!/usr/bin/env bash
# Saves the Day report of the office fixture as a web page and photographs it in headless
# Chromium (docs/screenshots/report-web-page.png): the chart drawn in the page and the shaded
# table below it. Needs chromium.
# Usage: docs/take-web-page.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${TALLYROW_BUILD_DIR:-$here/build}}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=offscreen "$build/bin/tallyrow-export" --no-cache \
  --data "$here/tests/data/office.mdb" --report day --from 2004-03-01 --to 2004-03-31 \
  --days mon,tue,wed,thu,fri --details --heat-map --format html --output "$work/day.html"
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/profile" \
  --window-size=760,2100 --screenshot="$here/docs/screenshots/report-web-page.png" "file://$work/day.html" \
  2>/dev/null
