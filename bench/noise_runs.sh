#!/usr/bin/env bash
# Listening runs: hours of noise, tones, speech-like sound and foreign bursts
# piped from noise_source through decode_stream faster than real time, one
# generator feeding the three mappings of a rate at once; every event line is
# counted, nothing is stored but the event lines.
#
# usage: bench/noise_runs.sh BUILD_DIR [HOURS [RATE...]] > results.csv
#   HOURS  audio per signal and receiver (default 10)
#   RATE   8000 and/or 48000 (default both)
#   JOBS=n pipelines at once (default 1; each uses about two cores)
#   SEED=n seed of the signals (default 1)
#   ONLY=regex  run only the signals whose names match
#   MARKDOWN=file  also write the table as Markdown
#   DEMOD=name  decode_stream's --demod (default reference)
#
# Expectations, checked in the verdict column:
#   noise, tones, speech, dc and bursts of the other rate: no SYNC, MESSAGE,
#     PING, NOPE or HEAP_ERROR line at all; PREAMBLE_FAIL is counted.
#   false preambles (true synchronisation symbols before random words in
#     place of the metadata): PREAMBLE_FAIL, never anything else.
#   bursts of the same rate and another mapping: the synchronisation and
#     metadata symbols are the same for every mapping, so SYNC is legitimate;
#     every MESSAGE must have FLIPS:-1 (no payload), no PING or NOPE. A
#     mapping-2 receiver waits for eight data symbols where the others send
#     four, so the next burst's SYNC may restart it before its MESSAGE.
#   bursts of the receiver's own variant: the control, every SYNC followed by
#     one MESSAGE with FLIPS of 0 or more, but the last, which the run may cut:
#     the end of the input gives it FLIPS:-1.
# Exit status 1 when any verdict fails.
set -euo pipefail

build=${1:?usage: noise_runs.sh BUILD_DIR [HOURS [RATE...]]}
hours=${2:-10}
shift $(($# < 2 ? $# : 2))
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(8000 48000)
source=$build/bench/noise_source
decoder=$build/decode_stream
for program in "$source" "$decoder"; do
	[ -x "$program" ] || { echo "missing $program: build noise_source and decode_stream" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

signals_of() {
	local rate=$1 other=$((48000 + 8000 - $1))
	echo white-60 white-30 white-10 pink-20 sweep tone tones clipped speech dc \
		bursts-$rate-2 bursts-$rate-4 bursts-$rate-8 bursts-$other-4 preambles-$rate-2
}

# One generator, three receivers; prints one CSV row per mapping.
run() {
	local signal=$1 rate=$2 dir=$work/$1-$2
	local seconds
	seconds=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
	mkdir -p "$dir"
	mkfifo "$dir/p2" "$dir/p4"
	local start=$SECONDS
	"$decoder" --demod "$demod" "$rate" 2 < "$dir/p2" > "$dir/2" &
	local d2=$!
	"$decoder" --demod "$demod" "$rate" 4 < "$dir/p4" > "$dir/4" &
	local d4=$!
	"$source" "$signal" "$rate" "$seconds" "$seed" | tee "$dir/p2" "$dir/p4" | "$decoder" --demod "$demod" "$rate" 8 > "$dir/8"
	wait $d2 $d4
	local wall=$((SECONDS - start))
	for mapping in 2 4 8; do
		awk -v signal="$signal" -v rate="$rate" -v mapping="$mapping" -v hours="$hours" -v seed="$seed" -v wall="$wall" '
			/^EVENT:PREAMBLE_FAIL$/ { fail++; next }
			/^EVENT:SYNC\|/ { sync++; next }
			/^EVENT:MESSAGE\|FLIPS:-1\|PAYLOAD:$/ { failed++; next }
			/^EVENT:MESSAGE\|FLIPS:[0-9]+\|/ { message++; next }
			/^EVENT:PING\|/ { ping++; next }
			/^EVENT:NOPE\|/ { nope++; next }
			/^EVENT:HEAP_ERROR$/ { heap++; next }
			{ other++ }
			END {
				kind = "noise"
				if (signal ~ "^bursts-" rate "-" mapping "$") kind = "control"
				else if (signal ~ "^bursts-" rate "-") kind = "other mapping"
				else if (signal ~ "^bursts-") kind = "other rate"
				else if (signal ~ "^preambles-") kind = "false preambles"
				bad = heap + other + ping + nope
				if (kind != "control" && kind != "other mapping") bad += sync + message + failed
				if (kind == "other mapping") bad += message + (sync < failed)
				if (kind == "control") bad += (failed > 1) + (message + failed != sync) + (sync == 0)
				printf "%s,%d,%d,%s,%s,%d,%d,%d,%.2f,%d,%d,%d,%d,%d,%d,%d,%s\n", signal, rate, mapping, kind,
					hours, seed, wall, fail, fail / hours, sync, message, failed, ping, nope, heap, other,
					bad ? "FAIL" : "pass"
			}' "$dir/$mapping"
	done
	rm -rf "$dir"
}

echo "signal,rate,mapping,kind,hours,seed,wall_seconds,preamble_fail,preamble_fail_per_hour,sync,message,message_failed,ping,nope,heap_error,other,verdict"
export -f run
seed=${SEED:-1}
demod=${DEMOD:-reference}
export work hours seed source decoder demod
for rate in "${rates[@]}"; do
	for signal in $(signals_of "$rate"); do
		[[ $signal =~ ${ONLY:-.} ]] && echo "$signal $rate"
	done
done | xargs -P "${JOBS:-1}" -L 1 bash -c 'run "$0" "$1"' | tee "$work/rows.csv"

if [ -n "${MARKDOWN:-}" ]; then
	{
		echo "| signal | rate | mapping | kind | hours | PREAMBLE_FAIL | per hour | SYNC | MESSAGE | MESSAGE FLIPS:-1 | PING | NOPE | verdict |"
		echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
		awk -F, '{ printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
			$1, $2, $3, $4, $5, $8, $9, $10, $11, $12, $13, $14, $17 }' "$work/rows.csv"
	} > "$MARKDOWN"
fi
! grep -q ',FAIL$' "$work/rows.csv"
