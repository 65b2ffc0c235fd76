#!/usr/bin/env bash
# Takes the screenshots of the user manual: the real program on a virtual X display (Xvfb), driven
# to show a Day report and a Totals report of a demo data file, captured with ImageMagick's
# import. Writes docs/main-window-day.png and docs/main-window-totals.png and copies them into
# docs/manual/. Usage: docs/take-screenshots.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${TALLYROW_BUILD_DIR:-$here/build}}"
bin="$build/bin"
for tool in tallyrow-screenshot-driver tallyrow-sample-data; do
  if [ ! -x "$bin/$tool" ]; then
    cmake --build "$build" --target "$tool" tallyrow_template
  fi
done

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Four weeks of an office of six people ending last Sunday, so the Day report has every weekday.
last_sunday="$(date -d "$(date +%Y-%m-%d) -$(( $(date +%u) % 7 )) days" +%Y-%m-%d)"
first_day="$(date -d "$last_sunday -27 days" +%Y-%m-%d)"
"$bin/tallyrow-sample-data" --output "$work/office.yrd" --users 6 --computers 4 \
  --from "$first_day" --to "$last_sunday" --seed 7 >/dev/null

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  if DISPLAY="$display" xdpyinfo >/dev/null 2>&1 || [ -e "/tmp/.X11-unix/X${display#:}" ]; then break; fi
  sleep 0.1
done

shoot() { # report kind, output file
  local ready="$work/ready-$1"
  XDG_CONFIG_HOME="$work/config" HOME="$work" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    "$bin/tallyrow-screenshot-driver" --data "$work/office.yrd" --report "$1" \
      --from "$first_day" --to "$last_sunday" --ready "$ready" &
  local pid=$!
  for _ in $(seq 300); do
    [ -e "$ready" ] && break
    if ! kill -0 "$pid" 2>/dev/null; then echo "the program ended before its window was ready" >&2; exit 1; fi
    sleep 0.1
  done
  [ -e "$ready" ] || { echo "the window did not become ready" >&2; kill "$pid"; exit 1; }
  DISPLAY="$display" import -window root "$2"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

shoot day "$here/docs/main-window-day.png"
shoot totals "$here/docs/main-window-totals.png"
cp "$here/docs/main-window-day.png" "$here/docs/main-window-totals.png" "$here/docs/manual/"
echo "docs/main-window-day.png docs/main-window-totals.png"
