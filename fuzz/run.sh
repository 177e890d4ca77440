#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer) and runs each for SECONDS, one after
# the other, on the corpora in CORPUS/<target>/ (seeded from encode_stream's
# bursts on the first run). Crashes, sanitizer reports, timeouts and leaks are
# written to CORPUS/artifacts/; the status is 1 when any target found one.
# usage: fuzz/run.sh SECONDS CORPUS [TARGET]...
set -euo pipefail

# All in one function: bash has read the whole script before it runs, so the
# file may change during a long run.
main() {
	seconds=$1
	corpus=$(realpath -m "$2")
	shift 2
	cd "$(dirname "$0")/.."
	build=${FUZZ_BUILD_DIR:-build/fuzz}
	targets=("$@")
	[ ${#targets[@]} -gt 0 ] || targets=(pcm_fuzz burst_fuzz osd_fuzz polar_fuzz command_line_fuzz)

	cmake --preset fuzz -B "$build" > /dev/null
	cmake --build "$build" --target fuzzers
	mkdir -p "$corpus/artifacts"
	[ -d "$corpus/seeds" ] || fuzz/make_seeds.sh "$build/tools/encode_stream" "$corpus/seeds"

	# Whole bursts at 48000 Hz are a few hundred kilobytes; the decoder targets
	# take a fixed number of bytes.
	declare -A max_len=([pcm_fuzz]=400000 [burst_fuzz]=4096 [osd_fuzz]=300 [polar_fuzz]=4200 [command_line_fuzz]=70000)
	failed=()
	for target in "${targets[@]}"; do
		mkdir -p "$corpus/$target"
		options=(-max_total_time="$seconds" -timeout=120 -rss_limit_mb=4096 -max_len="${max_len[$target]}"
			 -print_final_stats=1 -artifact_prefix="$corpus/artifacts/$target-")
		# Whole bursts need their payload and edits: no slow growth of the input length.
		[ "$target" = burst_fuzz ] && options+=(-len_control=0)
		[ "$target" = command_line_fuzz ] && options+=(-dict=fuzz/command_line.dict)
		echo "+ $target ${options[*]} $corpus/$target $corpus/seeds/$target"
		if ! nice "$build/fuzz/$target" "${options[@]}" "$corpus/$target" "$corpus/seeds/$target" \
			> "$corpus/$target.log" 2>&1; then
			failed+=("$target")
			tail -n 60 "$corpus/$target.log"
		fi
		grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$corpus/$target.log" | sed "s/^/$target: /"
	done
	if [ ${#failed[@]} -gt 0 ]; then
		echo "fuzzing found problems in: ${failed[*]} (inputs in $corpus/artifacts)"
		exit 1
	fi
}
main "$@"
