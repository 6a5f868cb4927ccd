# Probe against mplayer run directly; history with 100,000 rows.
B=$1
"$B/bench/media_bench" "${RUNS:-10}" "${ROWS:-100000}"
