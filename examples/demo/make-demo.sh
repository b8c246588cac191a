#!/usr/bin/env bash
# Regenerates the demo show: four short sound files made with sox (22.05 kHz, 16-bit mono) and
# Demo.mvl built from Demo.json with marvane-cli.
#   examples/demo/make-demo.sh [path/to/marvane-cli]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="$(realpath "${1:-$here/../../build/src/cli/marvane-cli}")"
cd "$here"
fmt=(-r 22050 -b 16 -c 1)
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Doorbell: a two-note chime.
sox -n "${fmt[@]}" "$tmp/ding.wav" synth 0.55 pluck E5 synth 0.55 sine amod 3 fade 0 0.55 0.4
sox -n "${fmt[@]}" "$tmp/dong.wav" synth 0.9 pluck C5 fade 0 0.9 0.8
sox "$tmp/ding.wav" "$tmp/dong.wav" doorbell.wav gain -n -3

# Thunder: a crack and a long low rumble.
sox -n "${fmt[@]}" "$tmp/crack.wav" synth 0.25 whitenoise lowpass 3000 fade 0.005 0.25 0.2
sox -n "${fmt[@]}" "$tmp/rumble.wav" synth 2.6 brownnoise lowpass 300 tremolo 3 60 fade 0.1 2.6 2.0
sox "$tmp/crack.wav" "$tmp/rumble.wav" thunder.wav gain -n -2

# Rain: two seconds of filtered noise that loops without a seam.
sox -n "${fmt[@]}" rain.wav synth 2 pinknoise highpass 800 lowpass 6000 gain -n -12

# Music bed: a slow arpeggio over a held fifth.
sox -n "${fmt[@]}" "$tmp/pad.wav" synth 5 sine 130.8 sine 196 fade 0.5 5 1.5 remix - gain -n -14
sox -n "${fmt[@]}" "$tmp/arp.wav" synth 0.5 pluck C4 synth 0.5 pluck E4 synth 0.5 pluck G4 \
    synth 0.5 pluck C5 repeat 1 pad 0 1
sox -m "$tmp/pad.wav" "$tmp/arp.wav" music.wav gain -n -3 trim 0 5

"$cli" build Demo.json Demo.mvl
ls -l ./*.wav Demo.mvl
