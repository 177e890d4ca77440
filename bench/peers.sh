#!/bin/bash
# This receiver side by side with other burst modems, all through the same
# channel simulator: FreeDV's raw-data modes DATAC0, DATAC3 and DATAC1
# (libcodec2) and liquid-dsp's OFDM frames (ofdmflexframe, QPSK and BPSK,
# Golay(24,12), CRC-32), against every mode and mapping of this project at
# 8000 Hz (white noise) and 48000 Hz (noise behind a 300-3000 Hz radio pass
# band). Per system and mode:
#   - SNR for 90 % success in white noise: BURSTS bursts per point, 1 dB
#     steps from the expected point to the first pair that brackets 90 %,
#     then two halvings (0.25 dB apart at the end), linear interpolation;
#   - success at MARGIN dB above that point under a frequency offset of
#     +-50 Hz, a sample-clock offset of +-200 ppm, an echo (2 ms, -6 dB) and
#     Watterson fading good, moderate and poor;
#   - payload bit/s over air time, and the band holding 99 % of the power;
#   - decode speed: CPU time (median of 3) on ten minutes of bursts at 15 dB,
#     peak resident memory (/usr/bin/time), and latency from a burst's last
#     sample to its payload (audio time, median; CPU time, median and
#     maximum, from the arrival of the input chunk that completed it).
# A burst counts when its payload passes the receiver's check and equals
# what was sent. Every burst has 0.5 s of silence on either side.
#
# Usage: bench/peers.sh [BUILD_DIR]
#   Without BUILD_DIR, configures and builds build/peers (Release, with
#   -DBUILD_PEER_BENCH=ON); needs libcodec2-dev, libliquid-dev and gnuplot.
#   Writes bench/results/peers.csv (one row per system and mode),
#   bench/results/peers_points.csv (every measured point),
#   bench/results/peers.log and docs/peers.png.
# bench/peers.sh --speed-only [BUILD_DIR]
#   Only the decode speed of liquid-dsp's QPSK frames and decode_stream 8000 4
#   and 48000 4 (mode 15, 128-byte payloads) on ten minutes of bursts at
#   15 dB, and of decode_stream on as much noise alone at each rate.
# bench/peers.sh --plot      redraws docs/peers.png from the CSV.
# bench/peers.sh --table     prints the CSV as a Markdown table.
# Environment: BURSTS (bursts per point, default 100), JOBS (parallel jobs,
# default 2), SPEED_SECONDS (audio of the speed runs, default 600).

set -euo pipefail

SELF=$(readlink -f "$0")
ROOT=$(dirname "$(dirname "$SELF")")
BURSTS=${BURSTS:-100}
JOBS=${JOBS:-2}
SILENCE=0.5
MARGIN=3
ECHO=2:0.5
SPEED_SECONDS=${SPEED_SECONDS:-600}
SPEED_SNR=15
# Payloads of every run come from this seed; the channel's seeds from the
# name of each point.
SEED=1
CSV=$ROOT/bench/results/peers.csv
POINTS=$ROOT/bench/results/peers_points.csv
LOG=$ROOT/bench/results/peers.log
PNG=$ROOT/docs/peers.png

add() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%g", a + b }'; }

# name family rate noise variant payload_bytes label expected_snr90
systems() {
	echo "freedv-DATAC0 freedv 8000 white DATAC0 14 DATAC0 -2.6"
	echo "freedv-DATAC3 freedv 8000 white DATAC3 126 DATAC3 -3.2"
	echo "freedv-DATAC1 freedv 8000 white DATAC1 510 DATAC1 1.0"
	echo "liquid-qpsk liquid 8000 white qpsk 128 QPSK 4.4"
	echo "liquid-bpsk liquid 8000 white bpsk 128 BPSK 1.5"
	local rate noise mode mapping expect
	for rate in 8000 48000; do
		noise=$([ $rate = 8000 ] && echo white || echo ssb)
		for mode in 14 15 16; do for mapping in 2 4 8; do
			expect=$(cat "$ROOT/bench/results/sensitivity_snr90.csv" 2>/dev/null |
				awk -F, -v k="$rate,$noise,$mode,$mapping,reference" '$1 "," $2 "," $3 "," $4 "," $5 == k && $6 != "" { print $6 }' || true)
			echo "ours-$rate-$mode-$mapping ours $rate $noise $mode/$mapping $(payload_bytes $mode) $mode/$mapping ${expect:-3}"
		done; done
	done
}

payload_bytes() { case $1 in 14) echo 170 ;; 15) echo 128 ;; 16) echo 85 ;; esac; }

# Sets NAME FAMILY RATE NOISE VARIANT BYTES LABEL EXPECT (and MODE, MAPPING
# for this project) for the named system.
lookup() {
	read -r NAME FAMILY RATE NOISE VARIANT BYTES LABEL EXPECT < <(systems | awk -v n="$1" '$1 == n')
	[ -n "${NAME:-}" ] || { echo "peers.sh: no system $1" >&2; exit 1; }
	MODE=${VARIANT%/*} MAPPING=${VARIANT#*/}
	DIR=$WORK/$NAME
	mkdir -p "$DIR"
}

# Text payloads of this project's bursts: "B<index> " and letters and digits
# up to the mode's capacity.
payload_lines() {
	awk -v n="$1" -v len="$BYTES" -v seed="$SEED" 'BEGIN {
		c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
		for (i = 0; i < n; ++i) {
			srand(seed * 100000 + i)
			t = sprintf("B%04d ", i)
			while (length(t) < len) t = t substr(c, int(rand() * 62) + 1, 1)
			print t
		}
	}'
}

# COUNT bursts into PREFIX.s16 (and their payloads into PREFIX.txt).
send() {
	local count=$1 prefix=$2
	case $FAMILY in
	freedv) "$PEERS/freedv_send" "$VARIANT" "$count" "$SEED" "$SILENCE" >"$prefix.s16" ;;
	liquid) "$PEERS/liquid_send" "$VARIANT" "$count" "$SEED" "$SILENCE" >"$prefix.s16" ;;
	ours)
		payload_lines "$count" >"$prefix.txt"
		"$ENCODE" --rate "$RATE" --mode "$MODE" --mapping "$MAPPING" --level -30 --silence "$SILENCE" --lines \
			<"$prefix.txt" >"$prefix.s16" ;;
	esac
}

# The receiver of the system as a command: reads PCM, writes FRAME and
# WRONG lines (peers) or event lines (this project).
decoder() {
	local count=$1
	case $FAMILY in
	freedv) DECODER=("$PEERS/freedv_receive" "$VARIANT" "$count" "$SEED") ;;
	liquid) DECODER=("$PEERS/liquid_receive" "$VARIANT" "$count" "$SEED") ;;
	ours) DECODER=("$DECODE" "$RATE" "$MAPPING") ;;
	esac
}

# Turns this project's event lines (of decode_stream, or of stream_latency
# with position and CPU time in front) into the peers' FRAME and WRONG lines,
# given the payload file.
ours_frames() {
	awk 'FNR == NR { sent[$0] = FNR - 1; next }
	{
		p = index($0, "EVENT:MESSAGE|FLIPS:")
		if (!p) next
		split(substr($0, 1, p - 1), t, " ")
		rest = substr($0, p + 20)
		if (rest + 0 < 0) next
		text = substr(rest, index(rest, "|PAYLOAD:") + 9)
		if (text in sent) print "FRAME", sent[text], t[1] + 0, t[2] + 0
		else print "WRONG", t[1] + 0
	}' "$1" -
}

# Reads noisy PCM of a run of COUNT bursts sent to PREFIX; prints FRAME and
# WRONG lines.
receive() {
	local count=$1 prefix=$2
	decoder "$count"
	if [ "$FAMILY" = ours ]; then "${DECODER[@]}" | ours_frames "$prefix.txt"; else "${DECODER[@]}"; fi
}

# "ok wrong": distinct bursts received, payloads that passed their check
# but were not sent.
tally() { awk '$1 == "FRAME" && !seen[$2]++ { ++ok } $1 == "WRONG" { ++wrong } END { print ok + 0, wrong + 0 }'; }

channel() {
	local snr=$1 seed=$2
	shift 2
	# Every sender here writes its bursts at an RMS of -30 dBFS.
	local args=(--rate "$RATE" --snr "$snr" --level -30 --seed "$seed")
	[ "$NOISE" = ssb ] && args+=(--ssb 300:3000)
	"$CHANNEL" "${args[@]}" "$@" 2>/dev/null
}

# One point of BURSTS bursts: TEST SNR CFO PPM ECHO FADING; appends its row
# and prints the number received.
point() {
	local test=$1 snr=$2 cfo=$3 ppm=$4 echo=$5 fading=$6
	local seed args=() counts
	seed=$(printf '%s' "$NAME/$test/$snr/$cfo/$ppm/$echo/$fading" | cksum | cut -d' ' -f1)
	[ "$cfo" != 0 ] && args+=(--cfo "$cfo")
	[ "$ppm" != 0 ] && args+=(--ppm "$ppm")
	[ "$echo" != none ] && args+=(--echo "$echo")
	[ "$fading" != none ] && args+=(--fading "$fading")
	counts=$(channel "$snr" "$seed" "${args[@]}" <"$DIR/clean.s16" | receive "$BURSTS" "$DIR/clean" | tally)
	set -- $counts
	echo "$NAME,$test,$snr,$cfo,$ppm,$echo,$fading,$BURSTS,$1,$2,$(awk -v a="$1" -v b="$BURSTS" 'BEGIN { printf "%g", 100 * a / b }')" >>"$DIR/points.csv"
	echo "$1"
}

# SNR for 90 % success in white noise, or nothing when the search finds no
# crossing.
snr90() {
	local -A got
	local need lo hi s step
	need=$(((BURSTS * 9 + 9) / 10))
	run() { [ -n "${got[$1]:-}" ] || got[$1]=$(point awgn "$1" 0 0 none none); }
	s=$(awk -v x="$EXPECT" 'BEGIN { printf "%g", (x < 0 ? -int(-x * 2 + 0.5) : int(x * 2 + 0.5)) / 2 }')
	run "$s"
	if [ "${got[$s]}" -ge "$need" ]; then
		hi=$s
		for step in $(seq 20); do
			lo=$(add "$hi" -1)
			run "$lo"
			[ "${got[$lo]}" -ge "$need" ] || break
			hi=$lo
		done
	else
		lo=$s
		for step in $(seq 25); do
			hi=$(add "$lo" 1)
			run "$hi"
			[ "${got[$hi]}" -lt "$need" ] || break
			lo=$hi
		done
	fi
	[ "${got[$lo]}" -lt "$need" ] && [ "${got[$hi]}" -ge "$need" ] || return 0
	for step in 0.5 0.25; do
		s=$(add "$lo" $step)
		run "$s"
		if [ "${got[$s]}" -ge "$need" ]; then hi=$s; else lo=$s; fi
	done
	awk -v l="$lo" -v h="$hi" -v a="${got[$lo]}" -v b="${got[$hi]}" -v n="$BURSTS" \
		'BEGIN { printf "%.1f", l + (h - l) * (0.9 * n - a) / (b - a) }'
}

# Burst period and air time (seconds) from a file of COUNT bursts.
period() { awk -v b="$(stat -c %s "$1")" -v n="$2" -v r="$RATE" 'BEGIN { printf "%.6f", b / 2 / n / r }'; }

# White noise search, robustness points and bandwidth of one system; leaves
# "snr90 robust_snr cfo+50 cfo-50 ppm+200 ppm-200 echo good moderate poor"
# and the 99 % band in its directory.
sensitivity() {
	lookup "$1"
	local at x90 results=()
	send "$BURSTS" "$DIR/clean"
	"$PEERS/occupied_bandwidth" "$RATE" <"$DIR/clean.s16" >"$DIR/bandwidth"
	period "$DIR/clean.s16" "$BURSTS" >"$DIR/period"
	x90=$(snr90)
	if [ -n "$x90" ]; then
		at=$(awk -v x="$x90" -v m="$MARGIN" 'BEGIN { printf "%.1f", x + m }')
		results+=("$(point cfo "$at" 50 0 none none)" "$(point cfo "$at" -50 0 none none)")
		results+=("$(point ppm "$at" 0 200 none none)" "$(point ppm "$at" 0 -200 none none)")
		results+=("$(point echo "$at" 0 0 "$ECHO" none)")
		for fading in good moderate poor; do results+=("$(point fading "$at" 0 0 none $fading)"); done
		echo "$x90 $at $(for r in "${results[@]}"; do awk -v a="$r" -v b="$BURSTS" 'BEGIN { printf "%g ", 100 * a / b }'; done)" >"$DIR/sensitivity"
	else
		echo "- - - - - - - - - -" >"$DIR/sensitivity"
	fi
	rm -f "$DIR/clean.s16"
}


# Decode speed, memory and latency of one system on ten minutes of bursts at
# SPEED_SNR dB; leaves "bursts received audio_s cpu_s rss_kb latency_audio_ms
# latency_cpu_ms latency_cpu_max_ms" in its directory.
speed() {
	lookup "$1"
	local count audio cpu rss run samples
	send 10 "$DIR/probe"
	count=$(awk -v p="$(period "$DIR/probe.s16" 10)" -v s="$SPEED_SECONDS" 'BEGIN { printf "%d", s / p }')
	rm -f "$DIR"/probe.*
	send "$count" "$DIR/speed"
	channel "$SPEED_SNR" "$SEED" <"$DIR/speed.s16" >"$DIR/noisy.s16"
	samples=$(($(stat -c %s "$DIR/noisy.s16") / 2))
	audio=$(awk -v n="$samples" -v r="$RATE" 'BEGIN { printf "%.2f", n / r }')
	decoder "$count"
	TIMEFORMAT='%3U %3S'
	for run in 1 2 3; do
		{ time /usr/bin/time -f %M -o "$DIR/rss$run" "${DECODER[@]}" <"$DIR/noisy.s16" >"$DIR/out" 2>/dev/null; } 2>"$DIR/time$run"
	done
	cpu=$(cat "$DIR"/time[123] | awk '{ printf "%.3f\n", $1 + $2 }' | sort -g | sed -n 2p)
	rss=$(cat "$DIR"/rss[123] | sort -n | tail -n 1)
	if [ "$FAMILY" = ours ]; then
		"$PEERS/stream_latency" "$RATE" "$MAPPING" <"$DIR/noisy.s16" | ours_frames "$DIR/speed.txt" >"$DIR/frames"
	else
		cp "$DIR/out" "$DIR/frames"
	fi
	# Burst i (from 0) ends at (i + 1) periods less the silence after it.
	awk -v p="$((samples / count))" -v s="$(awk -v s="$SILENCE" -v r="$RATE" 'BEGIN { printf "%d", s * r }')" -v r="$RATE" \
		-v n="$count" -v audio="$audio" -v cpu="$cpu" -v rss="$rss" '
		function median(v, k,   i, j, t) {
			for (i = 2; i <= k; ++i) for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
			return k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
		}
		$1 == "FRAME" && !seen[$2]++ {
			++k
			a[k] = ($3 - (($2 + 1) * p - s)) * 1000 / r
			c[k] = $4 / 1000
			if (c[k] > cmax) cmax = c[k]
		}
		END { printf "%d %d %s %s %s %.0f %.2f %.2f\n", n, k, audio, cpu, rss, k ? median(a, k) : 0, k ? median(c, k) : 0, cmax }' \
		"$DIR/frames" >"$DIR/speed_result"
	rm -f "$DIR"/speed.s16 "$DIR/noisy.s16" "$DIR/out"
}

# Label of the system's mode in the table and the plot.
label() {
	case $FAMILY in
	freedv) echo "FreeDV,$VARIANT" ;;
	liquid) echo "liquid-dsp,$LABEL" ;;
	ours) echo "ofdm_burst,$MODE/$MAPPING" ;;
	esac
}

summary() {
	echo "system,mode,rate_hz,noise,payload_bytes,air_time_s,payload_bps,bw99_low_hz,bw99_high_hz,bw99_hz,snr90_db,robust_snr_db,cfo_plus50_pct,cfo_minus50_pct,ppm_plus200_pct,ppm_minus200_pct,echo_pct,good_pct,moderate_pct,poor_pct,speed_bursts,speed_received,speed_audio_s,speed_cpu_s,x_realtime,peak_rss_kb,latency_audio_ms,latency_cpu_ms,latency_cpu_max_ms"
	local name
	for name in $(systems | cut -d' ' -f1); do
		lookup "$name"
		awk -v label="$(label)" -v rate="$RATE" -v noise="$NOISE" -v bytes="$BYTES" -v silence="$SILENCE" \
			-v period="$(cat "$DIR/period")" -v bw="$(cat "$DIR/bandwidth")" -v sens="$(cat "$DIR/sensitivity")" \
			-v spd="$(cat "$DIR/speed_result")" 'BEGIN {
			air = period - 2 * silence
			split(bw, b, " "); split(sens, r, " "); split(spd, v, " ")
			printf "%s,%d,%s,%d,%.3f,%.0f,%d,%d,%d", label, rate, noise, bytes, air, bytes * 8 / air, b[1], b[2], b[3]
			for (i = 1; i <= 10; ++i) printf ",%s", r[i] == "-" ? "" : r[i]
			printf ",%d,%d,%s,%s,%.0f,%d,%s,%s,%s\n", v[1], v[2], v[3], v[4], (v[4] > 0 ? v[3] / v[4] : 0), v[5], v[6], v[7], v[8]
		}'
	done
}

plot() {
	local dat=$WORK/plot
	mkdir -p "$dat"
	awk -F, -v dir="$dat" 'NR > 1 && $11 != "" {
		set = $1 == "ofdm_burst" ? "ours_" $3 : $1 ~ /^liquid/ ? "liquid" : "freedv"
		print $7, $11, $2 > (dir "/" set ".dat")
	}' "$CSV"
	gnuplot <<GNUPLOT
set terminal pngcairo size 1200,760 font "DejaVu Sans,12" noenhanced
set output "$PNG"
set title "SNR for 90 % of bursts in white noise (SNR in 3 kHz, $BURSTS bursts per point) against payload bit rate\nlower is better; ofdm_burst labelled mode/mapping"
set xlabel "payload bit/s over air time"
set ylabel "SNR for 90 % success (dB)"
set logscale x
set xrange [120:2000]
set xtics (150, 200, 300, 500, 700, 1000, 1500, 2000)
set yrange [-5:10]
set grid
set key bottom right
plot "$dat/freedv.dat" using 1:2 with points pt 7 ps 1.8 lc rgb "#c0392b" title "FreeDV raw data (DATAC*)", \
     "" using 1:2:3 with labels offset 0,-1.2 font ",11" notitle, \
     "$dat/liquid.dat" using 1:2 with points pt 5 ps 1.6 lc rgb "#8e44ad" title "liquid-dsp ofdmflexframe, Golay(24,12)", \
     "" using 1:2:3 with labels offset 0,-1.2 font ",11" notitle, \
     "$dat/ours_8000.dat" using 1:2 with points pt 9 ps 1.6 lc rgb "#2c6fbb" title "ofdm_burst, 8000 Hz", \
     "" using 1:2:3 with labels offset 0,1.1 font ",10" notitle, \
     "$dat/ours_48000.dat" using 1:2 with points pt 8 ps 1.6 lc rgb "#16a085" title "ofdm_burst, 48000 Hz behind 300-3000 Hz"
GNUPLOT
}

table() {
	awk -F, 'NR == 1 { next }
	BEGIN {
		print "| system | mode | rate | payload | air time | bit/s | 99 % band | SNR 90 % | +3 dB: CFO +50/−50 Hz | ±200 ppm | echo | good / moderate / poor | CPU × real time | peak RSS | latency audio / CPU |"
		print "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
	}
	{
		printf "| %s | %s | %d Hz%s | %d B | %.2f s | %d | %d Hz | %s dB | %s / %s %% | %s / %s %% | %s %% | %s / %s / %s %% | %d | %.1f MB | %d ms / %.2f ms |\n",
			$1, $2, $3, $4 == "ssb" ? " (300–3000)" : "", $5, $6, $7, $10, $11 == "" ? "–" : $11, $13, $14, $15, $16, $17, $18, $19, $20,
			$25, $26 / 1024, $27, $28
	}' "$CSV"
}

# CPU time of decode_stream on AUDIO seconds of the channel's noise alone at
# the system's rate, three runs: the per-sample cost that bursts add to.
noise_only() {
	local run
	head -c "$(awk -v a="$1" -v r="$RATE" 'BEGIN { printf "%d", 2 * int(a * r) }')" /dev/zero |
		channel "$SPEED_SNR" "$SEED" >"$DIR/noise.s16"
	TIMEFORMAT='%3U %3S'
	for run in 1 2 3; do
		{ time "$DECODE" "$RATE" "$MAPPING" <"$DIR/noise.s16" >/dev/null; } 2>"$DIR/time$run"
	done
	rm -f "$DIR/noise.s16"
}

# One row of the speed table from the three runs' times: NAME AUDIO RECEIVED.
speed_row() {
	local cpu
	cpu=$(awk '{ printf "%.3f\n", $1 + $2 }' "$DIR"/time[123] | sort -g | sed -n 2p)
	printf '%-15s %8s %8s %8s %8s %8s %9.0fx %9s\n' "$1" "$2" \
		$(awk '{ printf "%.3f ", $1 + $2 }' "$DIR"/time[123]) "$cpu" "$(awk -v a="$2" -v c="$cpu" 'BEGIN { print a / c }')" "$3"
}

speed_only() {
	local name
	printf '%-15s %8s %8s %8s %8s %8s %10s %9s\n' system audio_s run1 run2 run3 median realtime received
	for name in liquid-qpsk ours-8000-15-4 ours-48000-15-4; do
		speed "$name"
		read -r n k audio cpu rss rest <"$DIR/speed_result"
		speed_row "$name" "$audio" "$k/$n"
		[ "$FAMILY" = ours ] || continue
		noise_only "$audio"
		speed_row "noise-$RATE" "$audio" -
	done
}

case ${1:-} in
__sensitivity) shift; sensitivity "$1"; exit ;;
--plot | --table)
	WORK=$(mktemp -d /tmp/peers.XXXXXX)
	trap 'rm -rf "$WORK"' EXIT
	[ "$1" = --plot ] && plot || table
	exit ;;
-h | --help)
	sed -n '2,/^$/s/^# \{0,1\}//p' "$SELF"
	exit 0 ;;
esac
mode=all
[ "${1:-}" = --speed-only ] && { mode=speed; shift; }

began=$(date +%s)
# Before the results files change.
revision=$(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo unknown)
if [ $# -ge 1 ]; then
	BUILD=$(readlink -f "$1")
else
	BUILD=$ROOT/build/peers
	echo "building in $BUILD" >&2
	cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_PEER_BENCH=ON -DBUILD_BENCHMARKS=OFF -DBUILD_TESTING=OFF >/dev/null
	cmake --build "$BUILD" -j "$JOBS" --target decode_stream encode_stream burst_channel stream_latency occupied_bandwidth \
		freedv_send freedv_receive liquid_send liquid_receive >/dev/null
fi
export BURSTS DECODE=$BUILD/decode_stream ENCODE=$BUILD/tools/encode_stream CHANNEL=$BUILD/tools/burst_channel PEERS=$BUILD/bench/peers
for tool in "$DECODE" "$ENCODE" "$CHANNEL" "$PEERS"/{stream_latency,occupied_bandwidth,freedv_send,freedv_receive,liquid_send,liquid_receive}; do
	[ -x "$tool" ] || { echo "peers.sh: $tool is missing (configure with -DBUILD_PEER_BENCH=ON; libcodec2-dev and libliquid-dev)" >&2; exit 1; }
done
WORK=$(mktemp -d /tmp/peers.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export WORK

if [ $mode = speed ]; then
	speed_only
	exit
fi
command -v gnuplot >/dev/null || { echo "peers.sh: gnuplot is missing" >&2; exit 1; }
mkdir -p "$ROOT/bench/results" "$ROOT/docs"

echo "white noise, robustness and bandwidth, $JOBS jobs" >&2
# The slowest receivers first, so that the jobs end together.
systems | awk '{ print ($2 == "freedv" ? 0 : $3 == 48000 ? 1 : 2), NR, $1 }' | sort -k1,1n -k2,2n |
	awk '{ print "__sensitivity", $3 }' | xargs -P "$JOBS" -L 1 "$SELF"
echo "speed, memory and latency, one system at a time" >&2
for name in $(systems | cut -d' ' -f1); do speed "$name"; done

summary >"$CSV"
{
	echo "system,test,snr_db,cfo_hz,ppm,echo,fading,bursts,ok,wrong,success_pct"
	cat "$WORK"/*/points.csv
} >"$POINTS"
plot
ended=$(date +%s)
# Not in a pipeline: a subshell's times leave out what its parent ran.
times >"$WORK/times"
{
	echo "command: bench/peers.sh ${BUILD#"$ROOT"/} (BURSTS=$BURSTS JOBS=$JOBS)"
	echo "receiver: $revision; peers: libcodec2 $(dpkg-query -W -f '${Version}' libcodec2-dev 2>/dev/null), liquid-dsp $(dpkg-query -W -f '${Version}' libliquid-dev 2>/dev/null)"
	echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
	echo "started: $(date -u -d @"$began" '+%Y-%m-%d %H:%M:%S UTC'), wall time: $((ended - began)) s"
	echo "cpu time of the script and all it ran (user, system): $(tail -n 1 "$WORK/times")"
	echo "points: $(($(wc -l <"$POINTS") - 1)), bursts: $(awk -F, 'NR > 1 { s += $8 } END { print s }' "$POINTS")"
} | tee "$LOG" >&2
