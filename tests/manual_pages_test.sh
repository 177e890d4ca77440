#!/bin/sh
# Every manual page renders without a groff warning, and each program's page
# names every option its --help lists, in the same "-x, --long" form.
# usage: tests/manual_pages_test.sh BUILD_DIR
build=$1
[ -d "$build/docs/man" ] || { echo "manual pages not built (scdoc missing)"; exit 77; }
status=0
for page in "$build"/docs/man/*.1 "$build"/docs/man/*.3; do
	warnings=$(groff -man -ww -z "$page" 2>&1)
	[ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
done
for program in decode_stream tools/encode_stream tools/burst_channel tools/burst_waterfall tools/burst_station; do
	name=${program#tools/}
	# Built only where ALSA, Hamlib and cpp-httplib are.
	[ "$name" = burst_station ] && [ ! -x "$build/$program" ] && continue
	text=$(groff -man -rHY=0 -Tascii -P-cbou "$build/docs/man/$name.1")
	options=$("$build/$program" --help | grep -oE -- '-[A-Za-z], --[a-z-]+|--[a-z][a-z-]+')
	[ -n "$options" ] || { echo "$name --help lists no option"; status=1; }
	printf '%s\n' "$options" | while read -r option; do
		printf '%s\n' "$text" | grep -qF -- "$option" || { echo "$name.1 lacks $option"; exit 1; }
	done || status=1
done
exit $status
