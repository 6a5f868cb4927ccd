# The main window under load, each against a reference of the same run:
# - a 1 GiB download through the window against clipvane-get on the same
#   address (target: ratio <= 1.1, longest event-loop stall < 50 ms);
# - 100,000 addresses added to the task list, against the 2 s bound;
# - 20 dropped files probed while the window keeps running (longest stall
#   < 50 ms) against the same 20 probes run by clipvane-probe.
B=$1
SIZE=${WINDOW_BYTES:-1073741824}
T=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$T"' EXIT
export HOME="$T/home" XDG_CONFIG_HOME="$T/home/config" XDG_DATA_HOME="$T/home/data"
mkdir -p "$HOME"
printf '{"routes": [
 {"host": "www.youtube.com", "path": "/watch?v=big", "body": "<title>YouTube - Big</title>, \\"t\\": \\"T1\\""},
 {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=big", "status": 302,
  "headers": {"Location": "http://v1.test/big"}},
 {"host": "v1.test", "path": "/big", "body_size": %s}]}\n' "$SIZE" >"$T/scenario.json"
mkfifo "$T/in"
python3 tests/fakesites/fakesites.py --scenario "$T/scenario.json" <"$T/in" >"$T/port" &
exec 3>"$T/in"
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$T/port" ] && break; sleep 0.3; done
export http_proxy=http://127.0.0.1:$(cut -d' ' -f2 "$T/port")
ADDR=http://www.youtube.com/watch?v=big
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" -v k="${2:-1}" 'BEGIN { printf "%.4f", (b - a) * k }'; }

s=$(now)
"$B/clipvane/clipvane-get" -o "$T/get" "$ADDR" >/dev/null 2>&1
GET=$(since "$s")
rm -rf "$T/get" /tmp/cv_window_bench
set -- $("$B/bench/window_bench" storm "$ADDR" 2>/dev/null)
WIN=$1 STALL=$2
rm -rf /tmp/cv_window_bench
awk -v w="$WIN" -v g="$GET" -v s="$STALL" -v b="$SIZE" 'BEGIN {
  printf "window storm: %.2f s window, %.2f s clipvane-get for %d MiB, ratio %.2f (target <= 1.1); longest stall %d ms (target < 50)\n",
         w, g, b / 1048576, w / g, s }'

set -- $("$B/bench/window_bench" rows 100000 2>/dev/null)
awk -v t="$1" -v s="$2" 'BEGIN {
  printf "window rows: 100,000 addresses in %d ms, ratio %.2f to the 2000 ms bound (target <= 1.0)\n", t, t / 2000 }'

ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine \
  -t 2 -c:v flv -c:a libmp3lame "$T/clip.flv"
files=""
for i in $(seq 20); do cp "$T/clip.flv" "$T/c$i.flv"; files="$files $T/c$i.flv"; done
s=$(now)
"$B/clipvane/clipvane-probe" $files >/dev/null 2>&1
PROBE=$(since "$s" 1000)
set -- $("$B/bench/window_bench" probe "$T/clip.flv" 20 2>/dev/null)
rm -rf /tmp/cv_window_bench
awk -v t="$1" -v s="$2" -v p="$PROBE" 'BEGIN {
  printf "window probe: 20 dropped files in %d ms, clipvane-probe %d ms, ratio %.2f; longest stall %d ms (target < 50)\n",
         t, p, t / p, s }'
