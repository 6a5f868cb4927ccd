#!/bin/sh
# Watch downloads through the stand-in sites:
#   tests/fakesites/demo.sh [BUILD_DIR] [clipvane-get options...]
# The stand-in sites of the demo (demo_sites.sh: all four sites, serving
# short videos that ffmpeg makes first) run on a free loopback port as the
# HTTP and HTTPS proxy (with their own test certificate); one video of each
# site lands in ~/clipvane-demo/<site>/. Settings come from a fresh temporary
# home, so the user's own are not touched. CLIPVANE_DEMO_SITES picks some
# of: youtube nicovideo metacafe google.
set -eu
cd "$(dirname "$0")/../.."
B=${1:-build}
[ $# -gt 0 ] && shift
T=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$T"' EXIT
mkfifo "$T/in"
tests/fakesites/demo_sites.sh "$T/files" <"$T/in" >"$T/port" &
exec 3>"$T/in"
i=0
until [ -s "$T/port" ]; do
  i=$((i + 1))
  [ $i -le 300 ] || { echo "the stand-in sites did not start" >&2; exit 1; }
  sleep 0.2
done
export http_proxy="http://127.0.0.1:$(cut -d' ' -f2 "$T/port")"
export https_proxy="$http_proxy" CURL_CA_BUNDLE="$T/files/ca.pem"
export XDG_CONFIG_HOME="$T/config" XDG_DATA_HOME="$T/data"
if [ "${CLIPVANE_DEMO_WINDOW:-0}" = 1 ]; then
  "$B/clipvane/clipvane" "$@"
  exit
fi
OUT=${CLIPVANE_DEMO_OUT:-$HOME/clipvane-demo}
ADDRS=
for site in ${CLIPVANE_DEMO_SITES:-youtube nicovideo metacafe google}; do
  case $site in
    youtube) ADDRS="$ADDRS http://www.youtube.com/watch?v=abc123" ;;
    nicovideo) ADDRS="$ADDRS http://www.nicovideo.jp/watch/sm9" ;;
    metacafe) ADDRS="$ADDRS http://www.metacafe.com/watch/123/funny_cat/" ;;
    google) ADDRS="$ADDRS http://video.google.com/videoplay?docid=-4431" ;;
    *) echo "unknown site: $site" >&2; exit 2 ;;
  esac
done
# shellcheck disable=SC2086 # the addresses hold no blanks
"$B/clipvane/clipvane-get" -o "$OUT" --use-title "$@" $ADDRS
