#!/bin/bash
# Burst success rate of decode_stream through the channel simulator: against SNR
# in white noise for every rate, mode and mapping, and at a fixed SNR against
# frequency offset, sample-clock offset and fading. Every lost burst is put down
# to the stage that lost it.
#
# Usage: bench/sensitivity.sh BUILD_DIR
#   BUILD_DIR holds decode_stream, tools/encode_stream and tools/burst_channel (built
#   beforehand; this script builds nothing). Writes bench/results/sensitivity.csv,
#   bench/results/sensitivity_snr90.csv, bench/results/sensitivity.log,
#   docs/sensitivity_awgn.png and docs/sensitivity_robustness.png.
#   bench/sensitivity.sh --plot redraws the PNGs and the 90 % points from the
#   CSV alone (for example after joining the rows of separate runs).
#   Environment: BURSTS (bursts per point, default 100), JOBS (parallel jobs,
#   default 2), DEMOD (decode_stream's --demod values to measure side by side,
#   default "reference enhanced"). Every demodulator sees the same noise; the
#   plots of a demodulator other than the reference are named
#   sensitivity_awgn_NAME.png and sensitivity_robustness_NAME.png.
#
# Each burst of a stream carries its own call sign B001, B002, ... and its own
# payload, so the event lines are matched to bursts in order: a SYNC, NOPE or
# PING names its burst; PREAMBLE_FAIL lines between two named bursts go, in
# order, to the bursts in between that have nothing else. Per burst:
#   ok             SYNC with the right mode, then MESSAGE with the sent payload
#   no_detect      no event line for the burst
#   meta_rejected  PREAMBLE_FAIL, or valid metadata of another mode (NOPE, PING,
#                  SYNC with a wrong mode)
#   crc_failed     SYNC, then MESSAGE with FLIPS:-1
#   wrong_payload  SYNC, then MESSAGE with FLIPS >= 0 and another payload
#   cut_off        SYNC, then no MESSAGE (another detection ended the burst)
# false_alarms counts event lines left over after every burst has had one.
# Noise "white" covers the whole band; "ssb" is the same noise behind a
# 300-3000 Hz radio pass band. SNR is signal power against noise in 3 kHz.

set -euo pipefail

SELF=$(readlink -f "$0")
ROOT=$(dirname "$(dirname "$SELF")")
BURSTS=${BURSTS:-100}
JOBS=${JOBS:-2}
DEMOD=${DEMOD:-reference enhanced}
# -30 dBFS keeps the noisiest points (24 kHz of noise at 48000 Hz) from clipping
# while 16-bit rounding stays 70 dB below the signal.
LEVEL=-30
# Half a second of silence on each side of a burst: a freshly built receiver
# fills its history (0.72 s) before the next preamble arrives.
SILENCE=0.5
ROBUST_MODE=14
# Margin of the robustness points above the AWGN 90 % point of their variant.
MARGIN=3

payload_bytes() { case $1 in 14) echo 170 ;; 15) echo 128 ;; 16) echo 85 ;; esac; }

# Payload of burst I of a stream: "B<I> " and letters and digits up to the
# mode's capacity, different for every burst and stream.
payloads() {
	local rate=$1 mode=$2 mapping=$3
	awk -v n="$BURSTS" -v len="$(payload_bytes "$mode")" -v base="$((rate / 1000 * 10000 + mode * 100 + mapping))" 'BEGIN {
		c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
		for (i = 1; i <= n; ++i) {
			srand(base * 1000 + i)
			t = sprintf("B%03d ", i)
			while (length(t) < len) t = t substr(c, int(rand() * 62) + 1, 1)
			print t
		}
	}'
}

encode() {
	local rate=$1 mode=$2 mapping=$3 i=0 line
	payloads "$rate" "$mode" "$mapping" >"$WORK/payload_${rate}_${mode}_${mapping}.txt"
	while IFS= read -r line; do
		i=$((i + 1))
		"$ENCODE" --rate "$rate" --mapping "$mapping" --mode "$mode" --level "$LEVEL" --silence "$SILENCE" \
			--call "$(printf 'B%03d' "$i")" --text "$line"
	done <"$WORK/payload_${rate}_${mode}_${mapping}.txt" >"$WORK/clean_${rate}_${mode}_${mapping}.s16"
}

# Reads the payload file and the event lines; prints
# "ok no_detect meta_rejected crc_failed wrong_payload cut_off false_alarms".
classify() {
	awk -v n="$BURSTS" -v mode="$1" -f "$ROOT/bench/classify_bursts.awk" "$2" "$3"
}

# One measured point; appends its CSV row to $OUT_ROWS and prints the number of
# bursts received.
point() {
	local test=$1 rate=$2 noise=$3 mode=$4 mapping=$5 snr=$6 cfo=$7 ppm=$8 fading=$9 demod=${10}
	# The noise depends on the point, not on the demodulator.
	local key="$test/$rate/$noise/$mode/$mapping/$snr/$cfo/$ppm/$fading"
	local seed args events err counts clipped
	seed=$(printf '%s' "$key" | cksum | cut -d' ' -f1)
	# channel measures SNR against the level the bursts were sent at.
	args=(--rate "$rate" --snr "$snr" --level "$LEVEL" --seed "$seed")
	[ "$cfo" != 0 ] && args+=(--cfo "$cfo")
	[ "$ppm" != 0 ] && args+=(--ppm "$ppm")
	[ "$fading" != none ] && args+=(--fading "$fading")
	[ "$noise" = ssb ] && args+=(--ssb 300:3000)
	events=$(mktemp "$WORK/events.XXXXXX")
	err=$(mktemp "$WORK/err.XXXXXX")
	"$CHANNEL" "${args[@]}" <"$WORK/clean_${rate}_${mode}_${mapping}.s16" 2>"$err" |
		"$DECODE" --demod "$demod" "$rate" "$mapping" >"$events"
	counts=$(classify "$mode" "$WORK/payload_${rate}_${mode}_${mapping}.txt" "$events")
	clipped=$(awk '/clipped/ { print $2; exit } END { if (!NR) print 0 }' "$err")
	rm -f "$events" "$err"
	set -- $counts
	echo "$test,$rate,$noise,$mode,$mapping,$snr,$cfo,$ppm,$fading,$BURSTS,$1,$2,$3,$4,$5,$6,$7,$clipped,$(awk -v a="$1" -v b="$BURSTS" 'BEGIN { printf "%g", 100 * a / b }'),$demod" >>"$OUT_ROWS"
	echo "$1"
}

add() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%g", a + b }'; }

# Success against SNR for one curve: 2 dB steps down from START until nothing
# gets through and up until everything does, 0.5 dB steps across the waterfall
# between them, and two points above it (3 and 10 dB) to catch failures that
# noise does not explain.
curve() {
	local rate=$1 noise=$2 mode=$3 mapping=$4 start=$5 demod=$6
	local -A got
	local snr lo hi steps
	run() { [ -n "${got[$1]:-}" ] || got[$1]=$(point awgn "$rate" "$noise" "$mode" "$mapping" "$1" 0 0 none "$demod"); }
	snr=$start
	run "$snr"
	for steps in 1 2 3 4 5 6 7 8 9 10; do
		[ "${got[$snr]}" -gt 0 ] || break
		snr=$(add "$snr" -2)
		run "$snr"
	done
	lo=$snr
	for steps in $(seq 1 25); do
		[ "${got[$snr]}" -lt "$BURSTS" ] || break
		[ "${got[$snr]}" -eq 0 ] && lo=$snr
		snr=$(add "$snr" 2)
		run "$snr"
	done
	hi=$snr
	for snr in $(awk -v a="$lo" -v b="$hi" 'BEGIN { for (x = a + 0.5; x < b - 0.25; x += 0.5) printf "%g\n", x }'); do
		run "$snr"
	done
	run "$(add "$hi" 3)"
	run "$(add "$hi" 10)"
}

# SNR for 90 % success of each AWGN curve, interpolated linearly at the last
# crossing from below 90 % to 90 % or more; empty when the curve never gets there.
# Keys: rate,noise,mode,mapping,demod.
snr90() {
	awk -F, '$1 == "awgn" { print $2, $3, $4, $5 "," $20, $6, $19 }' "$1" | sort -k1,1n -k2,2 -k3,3n -k4,4 -k5,5g |
		awk 'function flush() {
			if (key != "") print key, found ? sprintf("%.1f", x90) : ""
		}
		{
			k = $1 "," $2 "," $3 "," $4
			if (k != key) { flush(); key = k; found = 0; ps = ""; pr = "" }
			if (ps != "" && pr < 90 && $6 >= 90) { x90 = ps + ($5 - ps) * (90 - pr) / ($6 - pr); found = 1 }
			ps = $5; pr = $6
		}
		END { flush() }'
}

summarize() {
	echo "rate,noise,mode,mapping,demod,snr90_db"
	snr90 "$1" | tr ' ' ,
}

# Draws docs/sensitivity_awgn[_DEMOD].png and docs/sensitivity_robustness[_DEMOD].png
# from the rows of demodulator $2 in the CSV in $1, one data file per curve in $WORK.
plot_results() {
	local bursts suffix
	bursts=$(awk -F, 'NR == 2 { print $10 }' "$1")
	suffix=$([ "$2" = reference ] || echo "_$2")
	rm -f "$WORK"/*.dat
	awk -F, -v d="$2" 'NR == 1 || $20 == d' "$1" > "$WORK/plotted.csv"
	set -- "$WORK/plotted.csv" "$2"
	awk -F, -v dir="$WORK" 'NR > 1 && $1 == "awgn" { print $6, $19 > (dir "/awgn_" $2 "_" $3 "_" $4 "_" $5 ".dat") }' "$1"
	awk -F, -v dir="$WORK" 'NR > 1 && $1 == "cfo" { c = $7; x = (c > 0 ? 1 : c < 0 ? -1 : 0) * log(1 + (c < 0 ? -c : c)) / log(10)
		print x, $19 > (dir "/cfo_" $2 "_" $3 "_" $5 ".dat") }' "$1"
	awk -F, -v dir="$WORK" 'NR > 1 && $1 == "ppm" { print $8, $19 > (dir "/ppm_" $2 "_" $3 "_" $5 ".dat") }' "$1"
	awk -F, -v dir="$WORK" 'NR > 1 && $1 == "fading" { f[$2 "_" $3 "_" $5] = f[$2 "_" $3 "_" $5] " " $19 " " $6 }
		END { for (k in f) { split(substr(f[k], 2), v, " "); file = dir "/fading_" k ".dat"
			# rows come sorted by profile name (good, moderate, poor) and SNR;
			# a blank line ends each profile so that its line stands alone
			for (i = 1; i <= 9; ++i) printf "%d %s %s\n%s", i, v[2 * i - 1], v[2 * i], i % 3 ? "" : "\n" > file } }' "$1"

	gnuplot <<EOF
set terminal pngcairo size 1800,640 font "DejaVu Sans,12"
set output "$ROOT/docs/sensitivity_awgn$suffix.png"
set multiplot layout 1,3 title "Burst success in white Gaussian noise, $2 demodulator ($bursts bursts per point, one curve per mode and mapping)"
set yrange [0:102]
set ytics 10
set grid
set xlabel "SNR in 3 kHz (dB)"
set ylabel "bursts received (%)"
set key bottom right font ",10"
mc(m) = m == 14 ? "#c0392b" : m == 15 ? "#27ae60" : "#2c6fbb"
pt(p) = p == 2 ? 7 : p == 4 ? 5 : 9
dt(p) = p == 2 ? 1 : p == 4 ? 2 : 3
do for [panel in "8000_white 48000_ssb 48000_white"] {
	set title (panel eq "8000_white" ? "8000 Hz, white noise over 0-4 kHz" : panel eq "48000_ssb" ? "48000 Hz, noise behind a 300-3000 Hz pass band" : "48000 Hz, white noise over 0-24 kHz")
	set xrange [-3:16]
	plot for [m in "14 15 16"] for [p in "2 4 8"] sprintf("$WORK/awgn_%s_%s_%s.dat", panel, m, p) using 1:2 with linespoints \
		lc rgb mc(m + 0) pt pt(p + 0) dt dt(p + 0) ps 0.8 lw 1.5 title sprintf("mode %s, mapping %s", m, p)
}
unset multiplot

set terminal pngcairo size 1800,640 font "DejaVu Sans,12"
set output "$ROOT/docs/sensitivity_robustness$suffix.png"
set multiplot layout 1,3 title "Mode $ROBUST_MODE, $2 demodulator, $bursts bursts per point, SNR $MARGIN dB above the 90 % point of the variant in noise (rounded up to 0.5 dB); 48000 Hz behind a 300-3000 Hz pass band unless marked white"
vc(r, p) = (r == 8000 ? (p == 2 ? "#e67e22" : p == 4 ? "#c0392b" : "#8e44ad") : (p == 2 ? "#16a085" : p == 4 ? "#2c6fbb" : "#34495e"))
set title "centre-frequency offset (signed log scale)"
set xlabel "offset (Hz)"
set xtics ("-600" -2.7789, "-200" -2.3032, "-50" -1.7076, "-10" -1.0414, "-3.1" -0.6154, "0" 0, "3.1" 0.6154, "10" 1.0414, "50" 1.7076, "200" 2.3032, "1500" 3.1764, "5000" 3.699, "20k" 4.301) font ",9"
set xrange [-3.0:4.45]
set key bottom left font ",10"
plot for [r in "8000 48000"] for [p in "2 4 8"] sprintf("$WORK/cfo_%s_%s_%s.dat", r, r eq "8000" ? "white" : "ssb", p) using 1:2 with linespoints \
		lc rgb vc(r + 0, p + 0) pt pt(p + 0) ps 0.8 lw 1.5 title sprintf("%s Hz, mapping %s", r, p), \
	for [p in "2 4 8"] sprintf("$WORK/cfo_48000_white_%s.dat", p) using 1:2 with points lc rgb vc(48000, p + 0) pt pt(p + 0) + 1 ps 1.4 title sprintf("48000 Hz white, mapping %s", p)
set title "sample-clock offset"
set xlabel "offset (ppm)"
set xtics auto font ",12"
set xrange [-2200:2200]
set key bottom center font ",10"
plot for [r in "8000 48000"] for [p in "2 4 8"] sprintf("$WORK/ppm_%s_%s_%s.dat", r, r eq "8000" ? "white" : "ssb", p) using 1:2 with linespoints \
		lc rgb vc(r + 0, p + 0) pt pt(p + 0) ps 0.8 lw 1.5 title sprintf("%s Hz, mapping %s", r, p)
set title "Watterson fading; dB over the 90 % point"
set bmargin 4
unset xlabel
set xrange [0.5:12.7]
set xtics ("good\n+3" 1, "good\n+10" 2, "good\n+20" 3, "mod.\n+3" 4, "mod.\n+10" 5, "mod.\n+20" 6, "poor\n+3" 7, "poor\n+10" 8, "poor\n+20" 9) font ",10"
set key top right font ",10" samplen 2
plot for [r in "8000 48000"] for [p in "2 4 8"] sprintf("$WORK/fading_%s_%s_%s.dat", r, r eq "8000" ? "white" : "ssb", p) using 1:2 with linespoints \
		lc rgb vc(r + 0, p + 0) pt pt(p + 0) ps 0.8 lw 1.5 title sprintf("%s Hz, mapping %s", r, p)
unset multiplot
EOF
}

case ${1:-} in
__encode) shift; encode "$@"; exit ;;
__curve) shift; curve "$@" >/dev/null; exit ;;
__point) shift; point "$@" >/dev/null; exit ;;
--plot)
	WORK=$(mktemp -d /tmp/sensitivity.XXXXXX)
	trap 'rm -rf "$WORK"' EXIT
	CSV=$ROOT/bench/results/sensitivity.csv
	summarize "$CSV" >"$ROOT/bench/results/sensitivity_snr90.csv"
	for demod in $(awk -F, 'NR > 1 { print $20 }' "$CSV" | sort -ur); do plot_results "$CSV" "$demod"; done
	exit ;;
-h | --help | "")
	sed -n '2,/^$/s/^# \{0,1\}//p' "$SELF"
	exit 0 ;;
esac

BUILD=$(readlink -f "$1")
export DECODE=$BUILD/decode_stream ENCODE=$BUILD/tools/encode_stream CHANNEL=$BUILD/tools/burst_channel
for tool in "$DECODE" "$ENCODE" "$CHANNEL"; do
	[ -x "$tool" ] || { echo "sensitivity.sh: $tool is missing; build decode_stream, encode_stream and channel first" >&2; exit 1; }
done
command -v gnuplot >/dev/null || { echo "sensitivity.sh: gnuplot is missing" >&2; exit 1; }
WORK=$(mktemp -d /tmp/sensitivity.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export WORK BURSTS DEMOD
mkdir -p "$WORK/rows" "$ROOT/bench/results" "$ROOT/docs"
CSV=$ROOT/bench/results/sensitivity.csv
SNR90=$ROOT/bench/results/sensitivity_snr90.csv
LOG=$ROOT/bench/results/sensitivity.log
began=$(date +%s)
jobs_from() { xargs -P "$JOBS" -L 1 sh -c 'export OUT_ROWS=$WORK/rows/$$.csv; exec "$0" "$@"' "$SELF"; }

echo "encoding $BURSTS bursts for each rate, mode and mapping" >&2
for rate in 48000 8000; do for mode in 14 15 16; do for mapping in 2 4 8; do
	echo __encode $rate $mode $mapping
done; done; done | jobs_from

echo "AWGN curves" >&2
{
	for demod in $DEMOD; do
		for mode in 14 15 16; do for mapping in 2 4 8; do
			echo __curve 48000 white $mode $mapping 6 $demod
			echo __curve 48000 ssb $mode $mapping 0 $demod
		done; done
		for mode in 14 15 16; do for mapping in 2 4 8; do
			echo __curve 8000 white $mode $mapping 0 $demod
		done; done
	done
} | jobs_from
cat "$WORK"/rows/*.csv >"$WORK/awgn.csv"

echo "robustness at $MARGIN dB above the 90 % point, mode $ROBUST_MODE" >&2
snr90 "$WORK/awgn.csv" >"$WORK/snr90.txt"
fixed() { awk -v k="$1,$2,$ROBUST_MODE,$3,$4" -v m="$MARGIN" '$1 == k && NF == 2 { v = ($2 + m) * 2; c = int(v); if (c < v) ++c; printf "%g", c / 2 }' "$WORK/snr90.txt"; }
{
	for demod in $DEMOD; do for rate in 48000 8000; do for mapping in 2 4 8; do
		noise=$([ $rate = 48000 ] && echo ssb || echo white)
		snr=$(fixed $rate $noise $mapping $demod)
		[ -n "$snr" ] || { echo "sensitivity.sh: no 90 % point for $rate $noise $mapping $demod" >&2; continue; }
		if [ $rate = 48000 ]; then cfos="-400 -200 -50 -10 -3.125 0 3.125 10 50 200 400 700"; else cfos="-600 -200 -50 -10 -3.125 0 3.125 10 50 200 600 1500"; fi
		for cfo in $cfos; do echo __point cfo $rate $noise $ROBUST_MODE $mapping $snr $cfo 0 none $demod; done
		for ppm in -2000 -1000 -500 -100 0 100 500 1000 2000; do echo __point ppm $rate $noise $ROBUST_MODE $mapping $snr 0 $ppm none $demod; done
		for fading in good moderate poor; do for extra in 0 7 17; do
			echo __point fading $rate $noise $ROBUST_MODE $mapping "$(add "$snr" $extra)" 0 0 $fading $demod
		done; done
		if [ $rate = 48000 ]; then
			snr=$(fixed $rate white $mapping $demod)
			[ -n "$snr" ] && for cfo in -600 0 1000 5000 15000 20000; do echo __point cfo $rate white $ROBUST_MODE $mapping $snr $cfo 0 none $demod; done
		fi
	done; done; done
} | jobs_from

echo "test,rate,noise,mode,mapping,snr_db,cfo_hz,ppm,fading,bursts,ok,no_detect,meta_rejected,crc_failed,wrong_payload,cut_off,false_alarms,clipped,success_pct,demod" >"$CSV"
cat "$WORK"/rows/*.csv | sort -t, -k20,20r -k1,1 -k2,2n -k3,3r -k4,4n -k5,5n -k9,9 -k6,6g -k7,7g -k8,8g >>"$CSV"
summarize "$CSV" >"$SNR90"

for demod in $DEMOD; do plot_results "$CSV" "$demod"; done
ended=$(date +%s)
{
	echo "command: bench/sensitivity.sh $1 (BURSTS=$BURSTS JOBS=$JOBS DEMOD=$DEMOD)"
	src=$(sed -n "s/^CMAKE_HOME_DIRECTORY:INTERNAL=//p" "$BUILD/CMakeCache.txt" 2>/dev/null || true)
	echo "receiver: built in $BUILD from ${src:-unknown}$(git -C "${src:-/nonexistent}" describe --always --dirty 2>/dev/null | sed "s/^/ at /")"
	echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
	echo "started: $(date -u -d @"$began" '+%Y-%m-%d %H:%M:%S UTC'), run time: $((ended - began)) s"
	echo "cpu time of all jobs (user, system): $(times | tail -n 1)"
	echo "points: $(($(wc -l <"$CSV") - 1)), bursts: $(awk -F, 'NR > 1 { s += $10 } END { print s }' "$CSV")"
} | tee "$LOG" >&2
