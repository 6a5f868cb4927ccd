# Addresses of other sites.
# 1. The page scanner on a page of about 20 MB with 10,000 candidates: its
#    scan time and the peak RSS of its process against one plain pattern
#    pass over the same decoded text (the same reading and decoding in both),
#    median of RUNS each, run alternately.
# 2. A direct media link of WEB_BYTES (default 1 GiB): clipvane-get from the
#    start of its process to the final file in place, against curl -o on the
#    same address, through the stand-in sites on loopback (as download.sh).
# Prints each ratio (reference / ours for times: above 1.0 ours is faster).
B=$1
RUNS=${WEB_RUNS:-3}
SIZE=${WEB_BYTES:-1073741824}
. "$(dirname "$0")/stand_in.sh"

"$B/bench/page_scan_bench" make "$T/page.html" >/dev/null
scan() {  # MODE
  "$B/bench/timed_run" "$T/r" "$B/bench/page_scan_bench" "$1" "$T/page.html" >"$T/o"
  read -r s rss rc _ <"$T/r"
  [ "$rc" = 0 ] || { echo "web: page_scan_bench $1 ended with $rc"; exit 1; }
  read -r found ms <"$T/o"
  echo "$ms $rss $found" >>"$T/$1"
}
: >"$T/scan"; : >"$T/grep"
for i in $(seq "$RUNS"); do
  if [ $((i % 2)) = 1 ]; then scan scan; scan grep; else scan grep; scan scan; fi
done
SMS=$(cut -d' ' -f1 "$T/scan" | median); GMS=$(cut -d' ' -f1 "$T/grep" | median)
SRSS=$(cut -d' ' -f2 "$T/scan" | median); GRSS=$(cut -d' ' -f2 "$T/grep" | median)
FOUND=$(head -1 "$T/scan" | cut -d' ' -f3 | cut -d: -f1)
BYTES=$(stat -c %s "$T/page.html")
awk -v s="$SMS" -v g="$GMS" -v sr="$SRSS" -v gr="$GRSS" -v f="$FOUND" -v b="$BYTES" -v n="$RUNS" 'BEGIN {
  printf "web: page scan of %.1f MB, %d candidates found, median of %d: %.0f ms, one pattern pass %.0f ms, ratio scan/pass %.2f; peak RSS %.0f MiB against %.0f MiB, ratio %.2f\n",
         b/1e6, f, n, s, g, s/g, sr/1024, gr/1024, sr/gr }'

cat >"$T/scenario.json" <<JSON
{"routes": [
  {"host": "media.clipvane.test", "method": "GET", "path": "/big.mp4",
   "headers": {"Content-Type": "video/mp4"}, "body_size": $SIZE}
]}
JSON
start_stand_in
uptime | sed "s/^/web: load at the start:/"
URL='http://media.clipvane.test/big.mp4'
OUT="$T/out/media.clipvane.test/big.mp4"
checked() {  # file left by a run: the whole file, then removed
  got=$(stat -c %s "$1" 2>/dev/null || echo 0)
  rm -f "$1"
  [ "$got" = "$SIZE" ] || { echo "web: $2 left $got bytes, not $SIZE"; exit 1; }
}
ours() {
  at_home CLIPVANE_GET_STATS=1 \
    "$B/bench/timed_run" "$T/r" "$B/clipvane/clipvane-get" -o "$T/out" -r 0 "$URL" \
    >/dev/null 2>"$T/err"
  read -r s rss rc start <"$T/r"
  [ "$rc" = 0 ] || { echo "web: clipvane-get ended with $rc"; cat "$T/err"; exit 1; }
  checked "$OUT" clipvane-get
  at=$(sed -n 's/.*last file at \([0-9.]*\) s.*/\1/p' "$T/err")
  [ -n "$at" ] || { echo "web: clipvane-get printed no stats"; exit 1; }
  echo "$at $start $rss" | awk '{ print $1 - $2, $3 }' >>"$T/ours"
  sed -n 's/.*processor time up to the last file \([0-9.]*\) s.*/\1/p' "$T/err" >>"$T/ours_cpu"
}
reference() {
  "$B/bench/timed_run" "$T/r" curl -s -x "$PROXY" -o "$T/curl.mp4" "$URL"
  read -r s rss rc _ <"$T/r"
  [ "$rc" = 0 ] || { echo "web: curl ended with $rc"; exit 1; }
  checked "$T/curl.mp4" curl
  echo "$s $rss" >>"$T/curl"
  sed -n 's/^cpu //p' "$T/r" >>"$T/curl_cpu"
}
: >"$T/ours"; : >"$T/curl"; : >"$T/ours_cpu"; : >"$T/curl_cpu"
for i in $(seq "$RUNS"); do
  if [ $((i % 2)) = 1 ]; then ours; reference; else reference; ours; fi
done
OURS=$(cut -d' ' -f1 "$T/ours" | median)
CURL=$(cut -d' ' -f1 "$T/curl" | median)
awk -v o="$OURS" -v c="$CURL" -v s="$SIZE" -v n="$RUNS" 'BEGIN {
  printf "web: direct media link of %.0f MiB, median of %d: clipvane-get %.2f s to the final file, curl -o %.2f s; ratio curl/ours %.2f (target >= 1.0)\n",
         s/1048576, n, o, c, c/o }'
OCPU=$(median <"$T/ours_cpu"); CCPU=$(median <"$T/curl_cpu")
awk -v o="$OCPU" -v c="$CCPU" -v n="$RUNS" 'BEGIN {
  printf "%s: processor time (user and system) to the final file, median of %d: clipvane-get %.2f s, curl -o %.2f s; ratio curl/ours %.2f\n", "web", n, o, c, c/o }'
uptime | sed 's/^/web: load at the end:/'
