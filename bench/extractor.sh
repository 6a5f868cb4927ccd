# A page whose video yt-dlp finds (og:video, a progressive file of
# EXTRACTOR_BYTES, default 512 MiB) on the stand-in sites over loopback:
# clipvane-get from its start to the final file in place (yt-dlp asked with
# -J, the file fetched by our engine) against yt-dlp downloading the same
# page and format itself, alternately, median of EXTRACTOR_RUNS each. Also
# the time from the start to the first byte of the video on disk, for both.
# Prints the ratios ours / yt-dlp (below 1.0: ours is faster; goal <= 0.9
# for the whole download), and clipvane-get's time to its exit (it then
# probes the file for the history).
B=$1
RUNS=${EXTRACTOR_RUNS:-3}
SIZE=${EXTRACTOR_BYTES:-536870912}
command -v yt-dlp >/dev/null || { echo "extractor: yt-dlp is not installed; skipped"; exit 0; }
. "$(dirname "$0")/stand_in.sh"
cat >"$T/scenario.json" <<JSON
{"routes": [
  {"host": "bench.clipvane.test", "method": "GET", "path": "/watch/big",
   "headers": {"Content-Type": "text/html; charset=utf-8"},
   "body": "<html><head><title>Big</title><meta property=\"og:video:type\" content=\"video/mp4\"><meta property=\"og:video\" content=\"http://cdn.bench.clipvane.test/big.mp4\"></head><body></body></html>"},
  {"host": "cdn.bench.clipvane.test", "method": "GET", "path": "/big.mp4",
   "headers": {"Content-Type": "video/mp4"}, "body_size": $SIZE, "media": true}
]}
JSON
start_stand_in
PAGE='http://bench.clipvane.test/watch/big'
# Runs a program at home and prints "<first byte> <final file> <end>" in
# seconds from its start: the first moment a file below FOLDER holds data,
# the first moment FINAL exists, and its exit.
timed() {
  folder=$1 final=$2; shift 2
  at_home python3 - "$folder" "$final" "$@" <<'PY'
import os, subprocess, sys, time
folder, final, cmd = sys.argv[1], sys.argv[2], sys.argv[3:]
t0 = time.monotonic()
p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
first = done = None
while p.poll() is None:
    now = time.monotonic() - t0
    if first is None:
        for root, _, files in os.walk(folder):
            for f in files:
                try:
                    if os.path.getsize(os.path.join(root, f)) > 0:
                        first = now
                except OSError:
                    pass
    if done is None and os.path.exists(final):
        done = now
    time.sleep(0.002)
end = time.monotonic() - t0
if p.returncode:
    sys.exit(p.returncode)
print("%.4f %.4f %.4f" % (first if first is not None else end, done if done is not None else end, end))
PY
}
checked() {  # the video a run left: whole, then removed
  got=$(stat -c %s "$1" 2>/dev/null || echo 0)
  [ "$got" = "$SIZE" ] || { echo "extractor: $2 left $got bytes, not $SIZE"; ls -laR "$T/out" "$T/ytdlp"; exit 1; }
  rm -rf "$T/out" "$T/ytdlp"
}
ours() {
  mkdir -p "$T/out"
  file="$T/out/bench.clipvane.test/Big.mp4"
  r=$(timed "$T/out" "$file" "$B/clipvane/clipvane-get" -o "$T/out" --use-title -r 0 "$PAGE") ||
    { echo "extractor: clipvane-get failed"; exit 1; }
  checked "$file" clipvane-get
  echo "$r" >>"$T/ours"
}
reference() {
  mkdir -p "$T/ytdlp"
  r=$(timed "$T/ytdlp" "$T/ytdlp/big.mp4" yt-dlp \
    --ignore-config --no-warnings --no-playlist --no-cache-dir --no-progress \
    -o "$T/ytdlp/big.%(ext)s" -- "$PAGE") ||
    { echo "extractor: yt-dlp failed"; exit 1; }
  checked "$T/ytdlp/big.mp4" yt-dlp
  echo "$r" >>"$T/ytdlp.times"
}
: >"$T/ours"; : >"$T/ytdlp.times"
for i in $(seq "$RUNS"); do
  if [ $((i % 2)) = 1 ]; then ours; reference; else reference; ours; fi
done
OF=$(cut -d' ' -f1 "$T/ours" | median)
OD=$(cut -d' ' -f2 "$T/ours" | median)
OE=$(cut -d' ' -f3 "$T/ours" | median)
# The first run of ours also asks yt-dlp what it is; later ones recall it.
O1=$(head -n 1 "$T/ours" | cut -d' ' -f1)
YF=$(cut -d' ' -f1 "$T/ytdlp.times" | median)
YD=$(cut -d' ' -f2 "$T/ytdlp.times" | median)
awk -v o1="$O1" -v of="$OF" -v od="$OD" -v oe="$OE" -v yf="$YF" -v yd="$YD" -v s="$SIZE" -v n="$RUNS" \
  -v v="$(yt-dlp --version)" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
  printf "extractor: %.0f MiB found by yt-dlp %s, median of %d (load %s): to the final file clipvane-get %.2f s (%.2f s to its exit), yt-dlp alone %.2f s; ratio ours/yt-dlp %.2f (goal <= 0.9); first byte after %.2f s ours, %.2f s yt-dlp alone; ratio %.2f (%.2f s in the first run of ours, which asks yt-dlp what it is)\n",
         s/1048576, v, n, load, od, oe, yd, od/yd, of, yf, of/yf, o1 }'
