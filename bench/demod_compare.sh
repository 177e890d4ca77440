#!/bin/bash
# Burst success of both demodulators over one SNR grid in white noise, on the
# same noisy streams, through bench/sensitivity.sh's own encoding, channel and
# burst classification.
#
# Usage: bench/demod_compare.sh BUILD_DIR [RATE MODE MAPPING [SNR...]]
#   defaults: 8000 15 4 and SNR 0 to 5 dB in steps of 0.5. Prints one line per
#   point: snr, then per demodulator "ok no_detect meta_rejected crc_failed
#   wrong_payload cut_off false_alarms". Environment: BURSTS (default 100),
#   PPM (sample-clock offset, default 0).

set -euo pipefail
SELF=$(readlink -f "$0")
SENS=$(dirname "$SELF")/sensitivity.sh
BUILD=$(readlink -f "$1")
RATE=${2:-8000} MODE=${3:-15} MAPPING=${4:-4}
shift $(($# < 4 ? $# : 4))
SNRS=${*:-0 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5}
export BURSTS=${BURSTS:-100} DECODE=$BUILD/decode_stream ENCODE=$BUILD/tools/encode_stream CHANNEL=$BUILD/tools/channel
WORK=$(mktemp -d /tmp/demod_compare.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export WORK
"$SENS" __encode "$RATE" "$MODE" "$MAPPING"
echo "snr reference(ok none meta crc wrong cut false) enhanced(ok none meta crc wrong cut false)"
for snr in $SNRS; do
	line=$snr
	for demod in reference enhanced; do
		OUT_ROWS=$WORK/$demod.csv DEMOD=$demod "$SENS" __point awgn "$RATE" white "$MODE" "$MAPPING" "$snr" 0 "${PPM:-0}" none
		line="$line | $(tail -n 1 "$WORK/$demod.csv" | cut -d, -f11-17 | tr , ' ')"
	done
	echo "$line"
done
