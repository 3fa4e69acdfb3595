#!/usr/bin/env bash
# Makes clip.mpg: 8 s of a synthetic test picture, 160x120 MPEG-1 video in an MPEG program
# stream, no sound. Run from this folder; ffmpeg comes with scripts/bootstrap.
set -euo pipefail
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25 -t 8 \
  -c:v mpeg1video -q:v 20 -g 25 -f mpeg clip.mpg
