#!/bin/sh
# Fails when a header or source includes a header of a layer above its own.
# From the bottom: dsp and code (neither includes the other), modem, stream,
# api, tools; tests, bench, fuzz and examples stand on top of everything and
# share only what lies in testing/.
# Usage: layers_test.sh [SOURCE_DIR]
cd "${1:-$(dirname "$0")/..}" || exit 2
grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][a-z_]+/' \
	--include='*.h' --include='*.hh' --include='*.cc' dsp code modem stream api tools tests testing bench fuzz examples |
awk '
BEGIN {
	rank["dsp"] = rank["code"] = 0; rank["modem"] = 1; rank["stream"] = 2
	rank["api"] = 3; rank["tools"] = 4
	rank["tests"] = rank["bench"] = rank["fuzz"] = rank["examples"] = rank["testing"] = 5
}
{
	split($0, file, "/")
	header = $0
	sub(/^[^:]*:[^"<]*["<]/, "", header)
	split(header, into, "/")
	if (!(into[1] in rank)) next # a system header
	up = rank[into[1]] > rank[file[1]]
	beside = rank[into[1]] == rank[file[1]] && into[1] != file[1] && into[1] != "testing"
	if (up || beside) {
		print "upward or sideways include: " $0
		bad = 1
	}
}
END { exit bad }'
