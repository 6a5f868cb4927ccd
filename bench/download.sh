# A 1 GiB video from the stand-in sites on loopback: the transport's
# throughput against curl -o on the same address, median of RUNS each.
B=$1
RUNS=${DOWNLOAD_RUNS:-3}
SIZE=${DOWNLOAD_BYTES:-1073741824}
T=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$T"' EXIT
printf '{"routes": [{"host": "v7.lscache3.c.youtube.com", "path_prefix": "/videoplayback", "body_size": %s}]}\n' "$SIZE" >"$T/scenario.json"
mkfifo "$T/in"
python3 tests/fakesites/fakesites.py --scenario "$T/scenario.json" <"$T/in" >"$T/port" &
exec 3>"$T/in"
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$T/port" ] && break; sleep 0.3; done
PROXY=http://127.0.0.1:$(cut -d' ' -f2 "$T/port")
URL=http://v7.lscache3.c.youtube.com/videoplayback?id=bench
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: >"$T/ours"; : >"$T/curl"
for i in $(seq "$RUNS"); do
  http_proxy=$PROXY "$B/bench/download_bench" "$URL" "$T/out.flv" >>"$T/ours" || { echo "download: engine run failed"; exit 1; }
  rm -f "$T/out.flv"
  curl -s -x "$PROXY" -o "$T/out.flv" -w '%{time_total}\n' "$URL" >>"$T/curl"
  rm -f "$T/out.flv"
done
OURS=$(cut -d' ' -f1 "$T/ours" | median)
CURL=$(median <"$T/curl")
RSS=$(cut -d' ' -f2 "$T/ours" | sort -n | tail -1)
POSTS=$(cut -d' ' -f3 "$T/ours" | head -1)
awk -v o="$OURS" -v c="$CURL" -v s="$SIZE" -v r="$RSS" -v p="$POSTS" 'BEGIN {
  printf "download: %.0f MB/s engine, %.0f MB/s curl, ratio %.2f (target >= 1.0); peak RSS +%d KiB; %d progress messages\n",
         s/o/1e6, s/c/1e6, c/o, r, p }'
