#!/usr/bin/env bash
# Renders the Day report pages shown in the manual from the office fixture: the first page with
# the key figures under the chart (docs/day-key-figures.png) and the shaded table
# (docs/day-shaded-table.png). Needs pdftoppm (poppler-utils).
# Usage: docs/take-report-pages.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${TALLYROW_BUILD_DIR:-$here/build}}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=offscreen "$build/bin/tallyrow-export" --no-cache \
  --data "$here/tests/data/office.mdb" --report day --from 2004-03-01 --to 2004-03-31 \
  --days mon,tue,wed,thu,fri --details --heat-map --key-figures --format pdf --output "$work/day.pdf"
pdftoppm -png -r 90 -f 1 -l 1 -singlefile "$work/day.pdf" "$here/docs/day-key-figures"
pdftoppm -png -r 90 -f 2 -l 2 -singlefile "$work/day.pdf" "$here/docs/day-shaded-table"
cp "$here/docs/day-key-figures.png" "$here/docs/day-shaded-table.png" "$here/docs/manual/"
