#!/bin/sh
# Makes the bundled recording: four bursts (a ping and modes 16, 15, 14) at
# 48000 Hz, mapping 4, through noise, a frequency and clock offset, slow
# fading and a radio's pass band.
# usage: examples/make_example.sh BUILD_DIR SEED > examples/bursts_48000_4.s16
# (seed 2 made the bundled file)
b=$1; seed=$2
{
  $b/tools/encode_stream --call DL1ABC --mode ping --silence 0.5
  printf 'Hello from the example recording!' | $b/tools/encode_stream --call DL1ABC --silence 0.5
  printf 'Grüße aus dem Beispiel: Umlaute, Ziffern 0123456789, Zeichen !?%%&/()=, und das Ende der Zeile.\n' | $b/tools/encode_stream --call DL1ABC --silence 0.5
  printf 'The quick brown fox jumps over the lazy dog. Each burst carries up to 170 bytes, protected by a polar code with a CRC-32, sent at 6.25 Hz carrier spacing.' | $b/tools/encode_stream --call DL1ABC --silence 0.5
} | $b/tools/burst_channel --rate 48000 --snr 12 --cfo 7.3 --ppm 60 --fading good --ssb 300:3000 --seed $seed
