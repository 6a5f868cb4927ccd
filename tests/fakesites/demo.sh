#!/bin/sh
# Watch one download through the stand-in sites:
#   tests/fakesites/demo.sh [BUILD_DIR] [clipvane-get options...]
# The YouTube scenario runs on a free loopback port as the HTTP proxy; the
# video lands in ./clipvane-demo/YouTube/. Settings come from a fresh
# temporary home, so the user's own are not touched.
set -eu
cd "$(dirname "$0")/../.."
B=${1:-build}
[ $# -gt 0 ] && shift
T=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$T"' EXIT
mkfifo "$T/in"
python3 tests/fakesites/fakesites.py --scenario tests/fakesites/scenarios/youtube.json <"$T/in" >"$T/port" &
exec 3>"$T/in"
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$T/port" ] && break; sleep 0.3; done
export http_proxy="http://127.0.0.1:$(cut -d' ' -f2 "$T/port")"
export XDG_CONFIG_HOME="$T/config" XDG_DATA_HOME="$T/data"
OUT=${CLIPVANE_DEMO_OUT:-$HOME/clipvane-demo}
"$B/clipvane/clipvane-get" -o "$OUT" --use-title "$@" \
  "http://www.youtube.com/watch?v=abc123"
