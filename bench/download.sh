# What a user runs: clipvane-get from the start of its process to the final
# file in place, against curl -o on the same video address (following the
# same redirect; clipvane-get loads the watch page before), both through the
# stand-in sites on loopback, alternately in one run, median of RUNS each.
# DOWNLOAD_BYTES sets the video's size (default 1 GiB).
# Prints the ratio curl time / clipvane-get time (above 1.0: ours is
# faster), clipvane-get's time to its exit too (it then probes the file for
# the history), the peak RSS of each (ours alone and with the probe), and
# clipvane-get's longest gap between two handled messages, overall and up to
# the final file (from CLIPVANE_GET_STATS=1; the largest of the runs).
B=$1
RUNS=${DOWNLOAD_RUNS:-3}
SIZE=${DOWNLOAD_BYTES:-1073741824}
. "$(dirname "$0")/stand_in.sh"
cat >"$T/scenario.json" <<JSON
{"routes": [
  {"host": "www.youtube.com", "method": "GET", "path": "/watch?v=bench",
   "headers": {"Content-Type": "text/html; charset=utf-8"},
   "body": "<html><head><title>YouTube - Bench</title></head><body><script>var swfArgs = {\"video_id\": \"bench\", \"t\": \"tok\"};</script></body></html>"},
  {"host": "www.youtube.com", "method": "GET", "path_prefix": "/get_video.php?video_id=bench&t=tok",
   "status": 303, "headers": {"Location": "http://v7.lscache3.c.youtube.com/videoplayback?id=bench"}, "body": ""},
  {"host": "v7.lscache3.c.youtube.com", "method": "GET", "path_prefix": "/videoplayback",
   "headers": {"Content-Type": "video/x-flv"}, "body_size": $SIZE}
]}
JSON
start_stand_in
uptime | sed "s/^/download: load at the start:/"
PAGE='http://www.youtube.com/watch?v=bench'
VIDEO='http://www.youtube.com/get_video.php?video_id=bench&t=tok'
OUT="$T/out/YouTube/bench.flv"
checked() {  # file left by a run: the whole video, then removed
  got=$(stat -c %s "$1" 2>/dev/null || echo 0)
  rm -f "$1"
  [ "$got" = "$SIZE" ] || { echo "download: $2 left $got bytes, not $SIZE"; exit 1; }
}
ours() {
  at_home CLIPVANE_GET_STATS=1 \
    "$B/bench/timed_run" "$T/r" "$B/clipvane/clipvane-get" -o "$T/out" --use-id --format flv -r 0 "$PAGE" \
    >/dev/null 2>"$T/err"
  read -r s rss rc start <"$T/r"
  [ "$rc" = 0 ] || { echo "download: clipvane-get ended with $rc"; cat "$T/err"; exit 1; }
  checked "$OUT" clipvane-get
  stats=$(sed -n 's/.*stats: \([0-9]*\) messages, longest gap \([0-9.]*\) ms (\([0-9.]*\) ms up to the last file), last file at \([0-9.]*\) s, peak RSS \([0-9]*\) KiB.*/\1 \2 \4 \5 \3/p' "$T/err")
  [ -n "$stats" ] || { echo "download: clipvane-get printed no stats"; exit 1; }
  echo "$stats" | awk -v st="$start" -v s="$s" -v r="$rss" '{ print $3 - st, s, $4, r }' >>"$T/ours"
  echo "$stats" | awk '{ print $2, $1 }' >>"$T/gaps"
  echo "$stats" | cut -d' ' -f5 >>"$T/gaps_to_file"
  sed -n 's/.*processor time up to the last file \([0-9.]*\) s.*/\1/p' "$T/err" >>"$T/ours_cpu"
}
reference() {
  "$B/bench/timed_run" "$T/r" curl -s -L -x "$PROXY" -o "$T/curl.flv" "$VIDEO"
  read -r s rss rc _ <"$T/r"
  [ "$rc" = 0 ] || { echo "download: curl ended with $rc"; exit 1; }
  checked "$T/curl.flv" curl
  echo "$s $rss" >>"$T/curl"
  sed -n 's/^cpu //p' "$T/r" >>"$T/curl_cpu"
}
: >"$T/ours"; : >"$T/curl"; : >"$T/ours_cpu"; : >"$T/curl_cpu"; : >"$T/gaps"; : >"$T/gaps_to_file"
for i in $(seq "$RUNS"); do
  if [ $((i % 2)) = 1 ]; then ours; reference; else reference; ours; fi
done
OURS=$(cut -d' ' -f1 "$T/ours" | median)
EXIT=$(cut -d' ' -f2 "$T/ours" | median)
CURL=$(cut -d' ' -f1 "$T/curl" | median)
RSS=$(cut -d' ' -f3 "$T/ours" | sort -n | tail -1)
TREE=$(cut -d' ' -f4 "$T/ours" | sort -n | tail -1)
CRSS=$(cut -d' ' -f2 "$T/curl" | sort -n | tail -1)
GAP=$(sort -n "$T/gaps" | tail -1)
FGAP=$(sort -n "$T/gaps_to_file" | tail -1)
awk -v o="$OURS" -v e="$EXIT" -v c="$CURL" -v s="$SIZE" -v r="$RSS" -v t="$TREE" -v cr="$CRSS" -v g="$GAP" -v fg="$FGAP" -v n="$RUNS" 'BEGIN {
  split(g, gp, " ")
  printf "download: %.0f MiB, median of %d: clipvane-get %.2f s to the final file (%.2f s to its exit), curl -o %.2f s; ratio curl/ours %.2f (target >= 1.0); peak RSS %.1f MiB ours (%.1f MiB with the probe it starts), %.1f MiB curl; longest gap between two handled messages %.1f ms (of %d), %.1f ms up to the final file\n",
         s/1048576, n, o, e, c, c/o, r/1024, t/1024, cr/1024, gp[1], gp[2], fg }'
OCPU=$(median <"$T/ours_cpu"); CCPU=$(median <"$T/curl_cpu")
awk -v o="$OCPU" -v c="$CCPU" -v n="$RUNS" 'BEGIN {
  printf "%s: processor time (user and system) to the final file, median of %d: clipvane-get %.2f s, curl -o %.2f s; ratio curl/ours %.2f\n", "download", n, o, c, c/o }'
uptime | sed 's/^/download: load at the end:/'
