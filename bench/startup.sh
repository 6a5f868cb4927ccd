# Start-up to the main window shown and closed, against a bare Qt dialog.
B=$1
"$B/bench/startup_bench" "$B/clipvane/clipvane" "$B/bench/bare_dialog" "${RUNS:-15}"
