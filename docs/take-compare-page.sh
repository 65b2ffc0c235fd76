#!/usr/bin/env bash
# Renders the first page of a Totals report compared with the previous range, as the manual
# shows it: the test office data file, eight weeks in hours, through tallyrow-export and
# pdftoppm. Writes docs/totals-compare.png and copies it into docs/manual/.
# Usage: docs/take-compare-page.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${TALLYROW_BUILD_DIR:-$here/build}}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
HOME="$work" XDG_CACHE_HOME="$work/cache" LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=offscreen \
  "$build/bin/tallyrow-export" --data "$here/tests/data/office.mdb" --report totals \
  --from 2004-05-03 --to 2004-06-27 --period weeks --scale hours --details --compare \
  --format pdf --output "$work/compare.pdf"
pdftoppm -r 80 -f 1 -l 1 -singlefile -png "$work/compare.pdf" "$here/docs/totals-compare"
cp "$here/docs/totals-compare.png" "$here/docs/manual/totals-compare.png"
echo "$here/docs/totals-compare.png"
