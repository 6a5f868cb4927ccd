#!/bin/sh
# The stand-in sites of the demo, with real short videos:
#   tests/fakesites/demo_sites.sh DIR [fakesites.py options...]
# Makes a video of a few seconds for each site in DIR with ffmpeg (a moving
# test picture with a tone; the MetaCafe one without sound; YouTube's in its
# three renditions), then runs fakesites.py with the scenarios of all four
# sites, serving those videos and a page that links them at
# http://demo.clipvane.test/. Like fakesites.py it prints "PORT <n>" once it
# listens and stops at the end of its standard input; its test certificate is
# DIR/ca.pem.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
D=$1
shift
mkdir -p "$D"
ff="ffmpeg -nostdin -loglevel error -y"
video() { # FILE PICTURE TONE_HZ|-
  case $1 in
    *.flv) size=320x240 codecs="-c:v flv -q:v 5 -c:a libmp3lame -b:a 64k" ;;
    *.mp4) size=320x240 codecs="-c:v mpeg4 -q:v 5 -c:a aac -b:a 64k" ;;
    *.3gp) size=176x144 codecs="-c:v h263 -q:v 5 -c:a aac -b:a 32k -ac 1" ;;
  esac
  tone=
  [ "$3" = - ] || tone="-f lavfi -i sine=frequency=$3:sample_rate=22050"
  # shellcheck disable=SC2086 # the words of tone and codecs are arguments
  $ff -f lavfi -i "$2size=$size:rate=25" $tone -t 5 $codecs -shortest "$D/tmp.$1"
  mv "$D/tmp.$1" "$D/$1"
}
video park.flv testsrc= 440
video park.mp4 testsrc= 440
video park.3gp testsrc= 440
video apple.flv mandelbrot= 660
video sunset.flv gradients=speed=0.05: 550
video cat.flv testsrc2= -
S=$here/scenarios
exec python3 "$here/fakesites.py" --tls "$D" --files "$D" --scenario "$S/demo.json" \
  --scenario "$S/youtube.json" --scenario "$S/nicovideo.json" --scenario "$S/metacafe.json" \
  --scenario "$S/googlevideo.json" --scenario "$S/vendor.json" "$@"
