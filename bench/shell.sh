# The history list of 100,000 rows and the site counts, each against the
# bare query; the skinned window's repaint while resizing against a plain
# dialog of the same size (under a virtual X server when there is no display).
B=$1
if [ -n "${DISPLAY:-}" ]; then
  "$B/bench/shell_bench" "$B/clipvane/cvres.bundle" "${ROWS:-100000}"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$B/bench/shell_bench" "$B/clipvane/cvres.bundle" "${ROWS:-100000}"
fi
