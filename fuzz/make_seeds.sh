#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets to DIR/<target>/, made from
# encode_stream's bursts (PCM and command line targets) and from small
# structured inputs (decoder and whole-burst targets).
# usage: fuzz/make_seeds.sh ENCODE_STREAM DIR
set -euo pipefail
encode=$1
dir=$2
mkdir -p "$dir"/{pcm_fuzz,burst_fuzz,osd_fuzz,polar_fuzz,command_line_fuzz}

# Variant byte of the PCM and burst targets: 0 … 5 for 8000/2, 8000/4, 8000/8,
# 48000/2, 48000/4, 48000/8.
variant=0
for rate in 8000 48000; do
	for mapping in 2 4 8; do
		# PCM: variant, selection byte (channel + 1; 8 draws the spectrum, 16
		# has the enhanced demodulator listen: the mono seeds), samples.
		for channel in 0 4; do
			select=$((channel + 1 + (variant % 2) * 8 + (channel == 0) * 16))
			{
				printf "\\x$(printf %02x $variant)\\x$(printf %02x $select)"
				"$encode" --rate $rate --mapping $mapping --channel $channel --silence 0.1 \
					--call DL1ABC --mode 16 --text "seed $rate $mapping: a short payload"
			} > "$dir/pcm_fuzz/burst_${rate}_${mapping}_$channel"
		done
		{
			printf "\\x$(printf %02x $variant)\\x01"
			"$encode" --rate $rate --mapping $mapping --silence 0.1 --call N0CALL --mode ping
		} > "$dir/pcm_fuzz/ping_${rate}_${mapping}"
		# Burst: variant, mode 14/15/16/ping, call sign, frequency, level, layout, lead-in, tail, payload.
		for mode in 0 1 2 3; do
			printf "\\x$(printf %02x $variant)\\x$(printf %02x $mode)\\x00\\x00\\x12\\x34\\x56\\x78\\x80\\x00\\x20\\x$(printf %02x $((variant % 5)))\\x01\\x23\\x00%s" \
				"Payload bytes of the seed, mode selector $mode" > "$dir/burst_fuzz/v${variant}_m$mode"
		done
		variant=$((variant + 1))
	done
done
# PCM for any mapping (variants 6 and 7): bursts of two mappings, one at 48000 Hz.
{
	printf '\x06\x01'
	"$encode" --rate 8000 --mapping 2 --silence 0.1 --mode 16 --text "any: mapping 2"
	"$encode" --rate 8000 --mapping 8 --silence 0.1 --mode 16 --text "any: mapping 8"
} > "$dir/pcm_fuzz/any_8000"
{
	printf '\x07\x01'
	"$encode" --rate 48000 --mapping 2 --silence 0.1 --mode 16 --text "any: mapping 2"
} > "$dir/pcm_fuzz/any_48000"
# Two bursts in one stream, the second with edits appended by the fuzzer.
printf '\x04\x02\x00\x00\x00\x00\x00\x01\x40\x00\x10\x03\x00\x00\x10Short\x00\x00\x01\x00\x00\x10\x01\x00\x02\x00\x08' \
	> "$dir/burst_fuzz/edited"

# Decoders: clean code words (form bit set) and arbitrary soft bits.
printf '\x01Metadata!\x7f' > "$dir/osd_fuzz/clean"
printf '\x01CALLSIGN1\x10\x00\x00\xf0\x00\x00\xf0' > "$dir/osd_fuzz/two_errors"
head -c 256 /dev/zero | tr '\0' '\100' > "$dir/osd_fuzz/all_zero_bits"
for r in 0 1 2; do
	printf "\\x0$((r + 4))The payload of a polar seed\\x20" > "$dir/polar_fuzz/clean_$r"
	{ printf "\\x0$r"; head -c 2048 /dev/zero | tr '\0' '\003'; } > "$dir/polar_fuzz/all_zero_bits_$r"
done

# Command line: arguments separated by zero bytes, 0xff, then standard input.
args() { printf '%s\0' "$@" | head -c -1; printf '\xff'; }
for rate in 8000 48000; do
	for mapping in 2 4 8; do
		{ args $rate $mapping 0; head -c 1000 /dev/zero; } > "$dir/command_line_fuzz/silence_${rate}_$mapping"
	done
done
{ args 8000 4; "$encode" --rate 8000 --silence 0.05 --mode ping; } > "$dir/command_line_fuzz/ping_8000_4"
{ args 8000 2 3; "$encode" --rate 8000 --mapping 2 --channel 3 --silence 0.05 --mode ping; } > "$dir/command_line_fuzz/ping_8000_2_3"
{ args --format=json -t 8000 4; "$encode" --rate 8000 --silence 0.05 --mode ping; } > "$dir/command_line_fuzz/json_8000_4"
{ args 8000 4 --timestamps=wall; "$encode" --rate 8000 --silence 0.05 --mode ping --wav; } > "$dir/command_line_fuzz/wav_8000_4"
{ args -R 12000 8000 4; head -c 2000 /dev/zero; } > "$dir/command_line_fuzz/resampled_8000_4"
args -h > "$dir/command_line_fuzz/help"
args -V > "$dir/command_line_fuzz/version"
args --frob > "$dir/command_line_fuzz/unknown_option"
args 44100 > "$dir/command_line_fuzz/bad_rate"
args 8000 16 > "$dir/command_line_fuzz/bad_mapping"
args > "$dir/command_line_fuzz/defaults"
