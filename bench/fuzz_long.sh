#!/usr/bin/env bash
# Long fuzzing: every libFuzzer target for SECONDS each (default 3600), on
# corpora kept between runs outside the repository, so that each run starts
# where the last one stopped. Prints the executions of every target; inputs
# that crash, leak or time out land in CORPUS/artifacts/ and make the status 1.
# usage: bench/fuzz_long.sh [SECONDS [CORPUS]]
#   CORPUS defaults to $FUZZ_CORPUS or ~/.cache/ofdm_burst/fuzz
set -euo pipefail
seconds=${1:-3600}
corpus=${2:-${FUZZ_CORPUS:-$HOME/.cache/ofdm_burst/fuzz}}
exec "$(dirname "$0")/../fuzz/run.sh" "$seconds" "$corpus"
