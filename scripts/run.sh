#!/bin/sh
# Installs what is missing, builds Clipvane and starts it.
#   ./scripts/run.sh [options]          the program as it is
#   ./scripts/run.sh --demo [options]   the program against stand-in video
#                                       sites on loopback (see the README)
set -eu
cd "$(dirname "$0")/.."
DEMO=0
if [ "${1:-}" = "--demo" ]; then
  DEMO=1
  shift
fi
./scripts/install-deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPVANE_TESTS=OFF
cmake --build build -j"$(nproc)"

start() {
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting Clipvane on a virtual X server (xvfb-run)."
    set -- xvfb-run -a "$@"
  fi
  if [ $DEMO = 1 ]; then
    "$@"
  else
    exec "$@"
  fi
}
[ $DEMO = 1 ] || start build/clipvane/clipvane "$@"

# The demo keeps settings, history and log of its own below D, so the user's
# are not touched; its videos go to OUT.
D=${XDG_CACHE_HOME:-$HOME/.cache}/clipvane-demo
OUT=${CLIPVANE_DEMO_OUT:-$HOME/clipvane-demo}
mkdir -p "$D/config/Clipvane" "$D/data" "$OUT"
HIVE="$D/config/Clipvane/registry.hive"
if [ ! -f "$HIVE" ]; then
  out=$(printf '%s' "$OUT" | sed 's/\\/\\\\/g; s/"/\\"/g')
  printf 'Clipvane registry hive 1\n\n[Software\\Clipvane\\Setting\\Output]\n"OutputFolder"=sz:"%s"\n\n; end of hive\n' \
    "$out" >"$HIVE.tmp"
  chmod 600 "$HIVE.tmp"
  mv "$HIVE.tmp" "$HIVE"
fi

# The folder the demo's window keeps (the user may have chosen another).
kept=$(sed -n 's/^"OutputFolder"=sz:"\(.*\)"$/\1/p' "$HIVE" | head -n 1 | sed 's/\\"/"/g; s/\\\\/\\/g')
[ -z "$kept" ] || OUT=$kept

T=$(mktemp -d "$D/sites.XXXXXX")
mkfifo "$T/in"
echo "Making the demo videos and starting the stand-in sites..."
tests/fakesites/demo_sites.sh "$T/files" <"$T/in" >"$T/port" &
SITES=$!
exec 3>"$T/in"
trap 'exec 3>&-; wait $SITES 2>/dev/null || true; rm -rf "$T"' EXIT
trap 'exit 130' INT TERM
i=0
until [ -s "$T/port" ]; do
  i=$((i + 1))
  if [ $i -gt 300 ] || ! kill -0 $SITES 2>/dev/null; then
    echo "The stand-in sites did not start." >&2
    exit 1
  fi
  sleep 0.2
done
PROXY="http://127.0.0.1:$(cut -d' ' -f2 "$T/port")"
cat <<MSG
Clipvane now reaches the stand-in sites through $PROXY.
Add, paste or drop one of these addresses and choose Download all:
  http://www.youtube.com/watch?v=abc123
  http://video.google.com/videoplay?docid=sunset
  http://www.nicovideo.jp/watch/sm9
  http://www.metacafe.com/watch/123/funny_cat/   (a video without sound)
or import the page http://demo.clipvane.test/ that links them.
Videos are saved in $OUT; the demo's own settings, history and log are in $D.
MSG
unset no_proxy NO_PROXY
export http_proxy="$PROXY" https_proxy="$PROXY" CURL_CA_BUNDLE="$T/files/ca.pem"
export XDG_CONFIG_HOME="$D/config" XDG_DATA_HOME="$D/data"
start build/clipvane/clipvane "$@"
