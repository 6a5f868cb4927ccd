# A 100 MB HTML file with 200,000 watch links: the address import against
# grep -oiE with the same patterns over the same file, median of RUNS each.
# grep runs in the C locale, its fastest; the import decodes UTF-8 too.
B=$1
RUNS=${IMPORT_RUNS:-3}
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
"$B/bench/import_bench" gen "$T/links.html" || { echo "import: writing the file failed"; exit 1; }
P='(http://www\.youtube\.com)?/watch\?v=[[:alnum:]_|-]+|http://video\.google\.com/videoplay\?docid=[[:alnum:]_]+'
ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: >"$T/ours"; : >"$T/grep"
for _ in $(seq "$RUNS"); do
  "$B/bench/import_bench" "$T/links.html" >>"$T/ours" || { echo "import: engine run failed"; exit 1; }
  s=$(ms)
  n=$(LC_ALL=C grep -oiE "$P" "$T/links.html" | wc -l)
  echo "$(($(ms) - s)) $n" >>"$T/grep"
done
OURS=$(cut -d' ' -f1 "$T/ours" | median)
GREP=$(cut -d' ' -f1 "$T/grep" | median)
FOUND=$(cut -d' ' -f2 "$T/ours" | sort -u)
GFOUND=$(cut -d' ' -f2 "$T/grep" | sort -u)
if [ "$FOUND" != "$GFOUND" ]; then
  echo "import: found $FOUND addresses, grep $GFOUND"
  exit 1
fi
awk -v o="$OURS" -v g="$GREP" -v n="$FOUND" 'BEGIN {
  printf "import: %.0f ms ours, %.0f ms grep, ratio %.2f (target <= 1.0); %d addresses each\n",
         o, g, o/g, n }'
