# The preview panel playing a 60 s clip against mplayer alone, under Xvfb.
B=$1
if ! command -v xvfb-run >/dev/null; then
  echo "preview: xvfb-run is missing (apt-get install xvfb); skipped"
  exit 0
fi
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  "$B/clipvane/preview_bench" "${CLIP_SECONDS:-60}" "${PREVIEW_VO:-gl}" "${RUNS:-5}"
