#!/bin/sh
# Installs the Debian packages the build, the program and the tests need.
# Only what is missing is installed, so a second run is quick.
set -eu
PKGS="cmake ninja-build g++ ccache pkg-config qt6-base-dev libcurl4-openssl-dev \
libpcre2-dev libsqlite3-dev liblog4cpp5-dev libgtest-dev libgmock-dev \
libbenchmark-dev mplayer ffmpeg xvfb xauth xdg-user-dirs xdg-utils curl openssl \
python3 ca-certificates libcurl4-doc sqlite3 locales fonts-dejavu-core fonts-noto-cjk qt6-translations-l10n libxcb1-dev \
desktop-file-utils dbus-daemon man-db \
nlohmann-json3-dev libssl-dev yt-dlp openbox x11-apps xdotool appstream dpkg-dev file"
missing=""
for p in $PKGS; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
