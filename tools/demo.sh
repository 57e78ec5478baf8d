#!/usr/bin/env bash
# The end-to-end demo: what a user sees the library do through reelhost.
# Pictures and files land in demo-out/ (look at the PNG files).
set -euo pipefail
# The build folder as an absolute path: the steps run inside demo-out/.
build="$(cd "${1:-build}" && pwd)"
host="$build/reelhost"
out=demo-out
rm -rf "$out"
mkdir -p "$out"
cd "$out"
step() { printf '\n== reelhost %s\n' "$*"; "$host" "$@"; }

step info
step timecode 180000 2997/100
step timecode --parse "00:10:00;01" 30drop
step string 1003 25
step expand "^0 frames in /1" 42 "bars.bmp"
step testcard 640x480 bars.bmp
step testcard 640x480 bars.png
step fill 320x240 '#3366CC' fill.png
step image gamma 15 bars.bmp gamma.png
step image reduce 16 bars.bmp reduced.png
step image smoothscale 160x120 bars.bmp thumb.png
step image median bars.bmp median.png
step fill 640x480 '#00FF00' green.bmp
step key luminance bars.bmp green.bmp luma-key.png --threshold 100 --cutoff 200
step key green-screen green.bmp bars.bmp green-screen.png --opacity 80
step motion bars.bmp motion.png --point 20,15,50,0,0 --point 60,45,100,45,1000 --at 1/2 --colour '#203040'
step media bars.bmp bars.png
step settings new pal.prs --standard pal --description "PAL DV"
step settings show pal.prs
step settings check pal.prs
step plugins
fx="$build/effect-plug-ins"
step keyframes "$fx/vf-tint.fmx" 0=0,0xFF0000FF 100=100,0x0000FFFF --at 25 --at 50
step keyframes "$fx/vf-levels.fmx" 0=0,255,1 100=40,200,0 --at 25 --at 50
step filter "$fx/vf-tint.fmx" bars.bmp tinted.png --at 1/4 --key 0=0,0x000000FF --key 100=100,0x000000FF
step filter "$fx/vf-levels.fmx" bars.bmp levels.png --key 0=0x00C80028,0
step fx "$fx/fx-dissolve.fmx" bars.bmp green.bmp 1/3 dissolve.png
step fx "$fx/fx-wipe.fmx" bars.bmp green.bmp 1/3 wipe.png
step device "$fx/dev-deck.fmx" locate 300 play poll 30 shuttle -8 poll 5 stop
step windows .
step timeline demo timeline
step render timeline/demo.otio 0 render-bars.png
step render timeline/demo.otio 125 render-dissolve.png
step render timeline/demo.otio 60 render-superimpose.png
step render timeline/demo.otio 75 render-motion.png
step render timeline/demo.otio 212 render-wipe.png
step render timeline/demo.otio 125 render-fields.png --field upper
step fxicon fx-dissolve 1/2 fxicon.png
step exporters
step export timeline/demo.otio demo.avi --size 320x240
step export timeline/demo.otio demo.wav
step export timeline/demo.otio sequence.png --range 0-10 --size 320x240
step export timeline/demo.otio still.png --still 60 --size 320x240
# The tone's fade-in through the mixer's meters (two frames behind the mix).
step mix timeline/demo.otio --range 0-30 --delay 2 --meters --wav mix.wav
printf 'kind disc\nwidth 320\nheight 240\nframes 50\n' >disc.synth
step probe disc.synth --frame probe-disc.png
step probe bars.bmp --frame probe-bars.png
step probe demo.avi
step probe demo.wav
printf '\npictures written to %s:\n' "$out"
ls -1 *.png
