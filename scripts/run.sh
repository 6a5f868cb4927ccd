#!/bin/sh
# Installs what is missing, builds Clipvane and starts it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPVANE_TESTS=OFF
cmake --build build -j"$(nproc)"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting Clipvane on a virtual X server (xvfb-run)."
  exec xvfb-run -a build/clipvane/clipvane "$@"
fi
exec build/clipvane/clipvane "$@"
