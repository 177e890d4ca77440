#!/bin/bash
# The smallest gap between bursts at which every burst is found, per variant:
# streams of BURSTS bursts (default 8) separated by GAP seconds of silence,
# for gaps of 0 to 0.5 s, with a second of silence after the last burst. A
# gap counts as found when every payload arrives, once and in order; the
# figure is the smallest gap from which on every larger gap of the list is
# found too ("-" when even 0.5 s is not enough).
#
# Usage: bench/gaps.sh ENCODE_STREAM DECODE_STREAM...
#   One column per decode_stream, for example the build of an older commit
#   beside this one's.
set -euo pipefail
BURSTS=${BURSTS:-8}
GAPS="0 0.01 0.02 0.05 0.1 0.15 0.2 0.25 0.3 0.35 0.4 0.45 0.5"
[ $# -ge 2 ] || { sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 1; }
encode=$1
shift
work=$(mktemp -d /tmp/gaps.XXXXXX)
trap 'rm -rf "$work"' EXIT
for i in $(seq "$BURSTS"); do echo "burst $i of a stream with short gaps"; done >"$work/sent"

printf '%-12s' variant
for decode in "$@"; do printf ' %s' "$decode"; done
echo
for rate in 8000 48000; do
	for mapping in 2 4 8; do
		printf '%-12s' "$rate/$mapping"
		for decode in "$@"; do
			smallest=-
			for gap in $(echo $GAPS | tr ' ' '\n' | sort -gr); do
				half=$(awk -v g="$gap" 'BEGIN { print g / 2 }')
				{
					"$encode" --rate "$rate" --mapping "$mapping" --lines --silence "$half" <"$work/sent"
					head -c $((2 * rate)) /dev/zero
				} >"$work/stream"
				"$decode" "$rate" "$mapping" <"$work/stream" |
					sed -n 's/^EVENT:MESSAGE|FLIPS:[0-9]*|PAYLOAD://p' >"$work/got"
				cmp -s "$work/sent" "$work/got" || break
				smallest=$gap
			done
			printf ' %s' "$smallest"
		done
		echo
	done
done
