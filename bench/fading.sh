#!/bin/bash
# Burst success under Watterson fading against SNR, with every lost burst put
# down to the stage that lost it (bench/classify_bursts.awk): the quick loop
# for work on the enhanced demodulator.
#
# Usage: bench/fading.sh BUILD_DIR
#   Environment (defaults in brackets): BURSTS [100], MODE [15], MAPPINGS
#   ["4 2"], PROFILES ["moderate poor"; "white" for no fading], SNRS ["0 3 6 9 12 15 20"], DEMOD
#   ["reference enhanced"], JOBS [2], RATE [8000], DECODE [BUILD_DIR/decode_stream].
#   Prints CSV rows
#   profile,mapping,snr,demod,ok,no_detect,meta_rejected,crc_failed,
#   wrong_payload,cut_off,false_alarms. Every demodulator sees the same
#   faded, noisy samples; 2 s of silence lie between bursts.

set -euo pipefail

SELF=$(readlink -f "$0")
ROOT=$(dirname "$(dirname "$SELF")")
BURSTS=${BURSTS:-100}
MODE=${MODE:-15}
RATE=${RATE:-8000}
LEVEL=-30

if [ "${1:-}" = --point ]; then
	shift
	profile=$1 mapping=$2 snr=$3
	seed=$(printf '%s' "$profile/$mapping/$snr" | cksum | cut -d' ' -f1)
	fading=(--fading "$profile")
	[ "$profile" = white ] && fading=()
	"$BUILD/tools/burst_channel" --rate "$RATE" --snr "$snr" --level "$LEVEL" "${fading[@]}" --seed "$seed" \
		<"$WORK/clean_$mapping.s16" 2>/dev/null >"$WORK/noisy_${profile}_${mapping}_$snr.s16"
	for demod in $DEMOD; do
		"${DECODE:-$BUILD/decode_stream}" --demod "$demod" "$RATE" "$mapping" <"$WORK/noisy_${profile}_${mapping}_$snr.s16" \
			>"$WORK/events_${profile}_${mapping}_${snr}_$demod"
		counts=$(awk -v n="$BURSTS" -v mode="$MODE" -f "$ROOT/bench/classify_bursts.awk" \
			"$WORK/payload_$mapping.txt" "$WORK/events_${profile}_${mapping}_${snr}_$demod")
		echo "$profile,$mapping,$snr,$demod,${counts// /,}"
	done
	rm -f "$WORK/noisy_${profile}_${mapping}_$snr.s16"
	exit 0
fi

BUILD=$(readlink -f "$1")
WORK=$(mktemp -d /tmp/fading.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export BUILD WORK BURSTS MODE RATE DEMOD=${DEMOD:-reference enhanced}
bytes=$(case $MODE in 14) echo 170 ;; 15) echo 128 ;; 16) echo 85 ;; esac)
for mapping in ${MAPPINGS:-4 2}; do
	awk -v n="$BURSTS" -v len="$bytes" -v base="$mapping" 'BEGIN {
		c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
		for (i = 1; i <= n; ++i) {
			srand(base * 1000 + i)
			t = sprintf("B%03d ", i)
			while (length(t) < len) t = t substr(c, int(rand() * 62) + 1, 1)
			print t
		}
	}' >"$WORK/payload_$mapping.txt"
	i=0
	while IFS= read -r line; do
		i=$((i + 1))
		"$BUILD/tools/encode_stream" --rate "$RATE" --mapping "$mapping" --mode "$MODE" --level "$LEVEL" \
			--silence 1 --call "$(printf 'B%03d' "$i")" --text "$line"
	done <"$WORK/payload_$mapping.txt" >"$WORK/clean_$mapping.s16"
done
for profile in ${PROFILES:-moderate poor}; do
	for mapping in ${MAPPINGS:-4 2}; do
		for snr in ${SNRS:-0 3 6 9 12 15 20}; do echo "$profile $mapping $snr"; done
	done
done | xargs -P "${JOBS:-2}" -L 1 "$SELF" --point | sort -t, -k1,1 -k2,2n -k4,4 -k3,3n
