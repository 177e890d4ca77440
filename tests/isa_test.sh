#!/bin/sh
# Every instruction-set level the processor has gives the same event lines,
# with both demodulators in every variant, on bursts through noise, fading
# and a clock offset (which exercise the retries) and on the bundled example.
# With EMULATOR and PROGRAM, the C example built for another processor (run
# as PROGRAM RATE MAPPING DEMOD under EMULATOR) must give them too.
# usage: isa_test.sh BUILD_DIR SOURCE_DIR [EMULATOR PROGRAM]
build=$1 source=$2 emulator=${3:-} program=${4:-}
decode=$build/decode_stream encode=$build/tools/encode_stream channel=$build/tools/burst_channel
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
levels=
for level in baseline v2; do
	OFDM_BURST_ISA=$level "$decode" --version | grep -q "receivers for $level\$" && levels="$levels $level"
done
[ -n "$levels" ] || { echo "no level runs here (a native build?)"; exit 77; }
echo "levels:$levels${program:+, and $program}"
status=0
run() { # name rate mapping: the lines of every level must agree
	for level in $levels; do
		for demod in reference enhanced; do
			OFDM_BURST_ISA=$level "$decode" --demod $demod "$2" "$3" < "$tmp/$1.s16" > "$tmp/$1.$demod.$level"
		done
	done
	for demod in reference enhanced; do
		[ -z "$program" ] || "$emulator" "$program" "$2" "$3" $demod < "$tmp/$1.s16" > "$tmp/$1.$demod.emulated"
		for level in $levels ${program:+emulated}; do
			cmp -s "$tmp/$1.$demod.baseline" "$tmp/$1.$demod.$level" ||
				{ echo "$1 $demod: $level differs from baseline"; status=1; }
		done
	done
}
for rate in 8000 48000; do
	for mapping in 2 4 8; do
		printf 'First burst\nSecond burst, a little longer\nThe third\n' |
			"$encode" --rate $rate --mapping $mapping --lines --silence 1 > "$tmp/clean.s16"
		"$channel" --rate $rate --snr 3 --fading moderate --ppm 200 --seed 4 < "$tmp/clean.s16" > "$tmp/faded_${rate}_${mapping}.s16" 2> /dev/null
		run "faded_${rate}_${mapping}" $rate $mapping
	done
done
# Twelve bursts through fading near the limit of mapping 2: many retries,
# one of which took another turn on aarch64 while the enhanced
# demodulator's angles came from the float atan2.
awk 'BEGIN { for (i = 1; i <= 12; ++i) printf "Burst %d of the quick brown fox, 8000 Hz, mapping 2.\n", i }' |
	"$encode" --rate 8000 --mapping 2 --lines --silence 4.4 > "$tmp/clean.s16"
"$channel" --rate 8000 --snr 4 --fading moderate --seed 3 < "$tmp/clean.s16" > "$tmp/retries_8000_2.s16" 2> /dev/null
run retries_8000_2 8000 2
cp "$source/examples/bursts_48000_4.s16" "$tmp/example.s16"
run example 48000 4
exit $status
