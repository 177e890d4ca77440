#!/bin/bash
# Audio seconds decoded per CPU second, for every receiver variant, on a
# recording of MINUTES minutes (default 10) holding a burst every 10 seconds
# through a noisy channel.
# usage: bench/throughput.sh BUILD_DIR [MINUTES]
#   DEMOD=name  decode_stream's --demod (default reference)
#   RECEIVE=any decode_stream's MAPPING (default the mapping sent)
set -euo pipefail
build=$1
minutes=${2:-10}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bursts=$((minutes * 6))
printf '%-6s %-7s %8s %8s %10s %8s\n' rate mapping audio_s cpu_s realtime bursts
for rate in 8000 48000; do
	for mapping in 2 4 8; do
		awk -v n="$bursts" -v r="$rate" -v m="$mapping" \
			'BEGIN { for (i = 1; i <= n; ++i) printf "Burst %d of the quick brown fox, %d Hz, mapping %d.\n", i, r, m }' |
			"$build/tools/encode_stream" --rate "$rate" --mapping "$mapping" --lines --silence 4.4 |
			"$build/tools/burst_channel" --rate "$rate" --snr 20 --ssb 300:3000 --seed 1 2> /dev/null > "$tmp/in.s16"
		audio=$(stat -c %s "$tmp/in.s16")
		TIMEFORMAT='%3U %3S'
		{ time "$build/decode_stream" --demod "${DEMOD:-reference}" "$rate" "${RECEIVE:-$mapping}" < "$tmp/in.s16" > "$tmp/out"; } 2> "$tmp/time"
		read -r user sys < "$tmp/time"
		messages=$(grep -c '^EVENT:MESSAGE|FLIPS:[0-9]' "$tmp/out" || true)
		awk -v r="$rate" -v m="$mapping" -v bytes="$audio" -v u="$user" -v s="$sys" -v got="$messages" -v sent="$bursts" \
			'BEGIN { audio = bytes / 2 / r; cpu = u + s; printf "%-6d %-7d %8.1f %8.2f %9.0fx %4d/%d\n", r, m, audio, cpu, audio / cpu, got, sent }'
	done
done
