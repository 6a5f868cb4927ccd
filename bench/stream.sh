# Streams and resumes, through the stand-in sites on loopback:
# - an HLS stream of SEGMENTS segments (default 300) made with ffmpeg, each
#   request answered after LATENCY seconds (default 0.03): clipvane-get to
#   its final .mp4 against `ffmpeg -i URL -c copy` on the same stream, median
#   of RUNS each; prints ours / ffmpeg (goal <= 0.5);
# - a RESUME_BYTES file (default 64 MiB) with an ETag and byte ranges, the
#   download killed at half: the share of the file the second attempt
#   transfers (goal <= 0.55).
B=$1
RUNS=${STREAM_RUNS:-3}
SEGMENTS=${SEGMENTS:-300}
LATENCY=${LATENCY:-0.03}
SIZE=${RESUME_BYTES:-67108864}
. "$(dirname "$0")/stand_in.sh"
mkdir -p "$T/files"
# 0.2 s segments, a key frame each.
DURATION=$(awk -v n="$SEGMENTS" 'BEGIN { printf "%.1f", n * 0.2 }')
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=640x360:rate=25 -f lavfi -i sine \
  -t "$DURATION" -c:v mpeg2video -b:v 1M -c:a mp2 -g 5 -f hls -hls_time 0.2 -hls_list_size 0 \
  -hls_playlist_type vod -hls_segment_filename "$T/files/s_%05d.ts" "$T/files/s.m3u8" ||
  { echo "stream: ffmpeg could not make the stream"; exit 1; }
GOT=$(grep -c '^s_' "$T/files/s.m3u8")
cat >"$T/scenario.json" <<JSON
{"routes": [
  {"host": "media.clipvane.test", "path_prefix": "/hls/", "serve_files": true, "latency": $LATENCY,
   "headers": {"Content-Type": "application/vnd.apple.mpegurl"}},
  {"host": "www.youtube.com", "method": "GET", "path": "/watch?v=big",
   "headers": {"Content-Type": "text/html; charset=utf-8"},
   "body": "<html><head><title>YouTube - Big</title></head><body><script>var swfArgs = {\"video_id\": \"big\", \"t\": \"tok\"};</script></body></html>"},
  {"host": "www.youtube.com", "method": "GET", "path_prefix": "/get_video.php?video_id=big&t=tok",
   "status": 303, "headers": {"Location": "http://v7.lscache3.c.youtube.com/videoplayback?id=big"}, "body": ""},
  {"host": "v7.lscache3.c.youtube.com", "method": "GET", "path_prefix": "/videoplayback",
   "ranges": true, "rate": $((SIZE / 2)),
   "headers": {"Content-Type": "video/x-flv", "ETag": "\"big1\""}, "body_size": $SIZE}
]}
JSON
start_stand_in --files "$T/files" --record "$T/record"
ours() {  # from the start of the process to the .mp4 in place
  rm -rf "$T/out"
  at_home CLIPVANE_GET_STATS=1 "$B/bench/timed_run" "$T/r" "$B/clipvane/clipvane-get" -o "$T/out" \
    -r 0 http://media.clipvane.test/hls/s.m3u8 >/dev/null 2>"$T/err"
  read -r _ _ rc start <"$T/r"
  [ "$rc" = 0 ] && [ -s "$T/out/media.clipvane.test/s.mp4" ] ||
    { echo "stream: clipvane-get ended with $rc"; cat "$T/err"; exit 1; }
  at=$(sed -n 's/.*last file at \([0-9.]*\) s.*/\1/p' "$T/err")
  [ -n "$at" ] || { echo "stream: clipvane-get printed no stats"; exit 1; }
  echo "$at $start" | awk '{ print $1 - $2 }' >>"$T/ours"
}
reference() {
  rm -f "$T/ff.mp4"
  at_home "$B/bench/timed_run" "$T/r" ffmpeg -nostdin -loglevel error -i \
    http://media.clipvane.test/hls/s.m3u8 -c copy "$T/ff.mp4"
  read -r s _ rc _ <"$T/r"
  [ "$rc" = 0 ] || { echo "stream: ffmpeg ended with $rc"; exit 1; }
  echo "$s" >>"$T/ffmpeg"
}
: >"$T/ours"; : >"$T/ffmpeg"
for i in $(seq "$RUNS"); do
  if [ $((i % 2)) = 1 ]; then ours; reference; else reference; ours; fi
done
OURS=$(median <"$T/ours")
FF=$(median <"$T/ffmpeg")
awk -v o="$OURS" -v f="$FF" -v n="$GOT" -v l="$LATENCY" -v r="$RUNS" 'BEGIN {
  printf "stream: HLS of %d segments, %.0f ms a request, median of %d: clipvane-get %.2f s to its .mp4, ffmpeg -c copy %.2f s; ratio ours/ffmpeg %.2f (goal <= 0.5)\n",
         n, l * 1000, r, o, f, o / f }'

# Resume: killed once half the file is in its temporary file.
rm -rf "$T/out"
: >"$T/record"
BIG='http://www.youtube.com/watch?v=big'
# Not at_home: the kill below must reach clipvane-get itself.
env HOME="$T/home" XDG_CONFIG_HOME="$T/home/config" XDG_DATA_HOME="$T/home/data" \
  http_proxy="$PROXY" "$B/clipvane/clipvane-get" -o "$T/out" --use-id --format flv -r 0 "$BIG" \
  >/dev/null 2>&1 &
PID=$!
PART="$T/out/YouTube/big.flv.cvt"
while kill -0 "$PID" 2>/dev/null; do
  [ "$(stat -c %s "$PART" 2>/dev/null || echo 0)" -ge $((SIZE / 2)) ] && break
  sleep 0.02
done
kill -9 "$PID" 2>/dev/null
wait "$PID" 2>/dev/null
KEPT=$(stat -c %s "$PART" 2>/dev/null || echo 0)
at_home "$B/clipvane/clipvane-get" -o "$T/out" --use-id --format flv -r 0 "$BIG" >/dev/null 2>"$T/err" || { echo "stream: the resumed download failed"; cat "$T/err"; exit 1; }
[ "$(stat -c %s "$T/out/YouTube/big.flv" 2>/dev/null)" = "$SIZE" ] ||
  { echo "stream: the resumed file is not whole"; exit 1; }
FROM=$(grep '^H Range: bytes=' "$T/record" | tail -1 | sed 's/.*bytes=\([0-9]*\)-.*/\1/')
[ -n "$FROM" ] || FROM=0
awk -v s="$SIZE" -v k="$KEPT" -v f="$FROM" 'BEGIN {
  printf "stream: resume of a %.0f MiB file killed at %.0f %%: the second attempt transfers %.2f of its bytes (goal <= 0.55)\n",
         s / 1048576, k * 100 / s, (s - f) / s }'
