#!/bin/sh
# The documents match the code: ofdm_burst(3) names every function, type and
# constant that ofdm_burst.h declares, and every file, folder and type that
# docs/architecture.md names in backticks exists.
# usage: documents_test.sh SOURCE_DIR
cd "${1:-$(dirname "$0")/..}" || exit 2
status=0
for name in $(grep -oE '\b(OFDM_BURST_[A-Z_]+|ofdm_burst_[a-z_]+)\b' api/ofdm_burst.h | grep -vx OFDM_BURST_H | sort -u); do
	grep -qw -- "$name" docs/man/ofdm_burst.3.scd || { echo "ofdm_burst(3) does not name $name"; status=1; }
done
names=$(grep -oE '`[^`]+`' docs/architecture.md | tr -d '`' | sort -u)
for path in $(printf '%s\n' "$names" | grep -E '^[a-z_./]+/[a-z_./]*$'); do
	[ -e "$path" ] || { echo "docs/architecture.md names $path, which does not exist"; status=1; }
done
# A bare file name must be somewhere in the tree.
for file in $(printf '%s\n' "$names" | grep -E '^[a-z_]+\.(hh|cc|h|sh|md|py|scd)$'); do
	[ -n "$(find dsp code modem stream api tools tests testing bench fuzz docs examples scripts -name "$file" 2>/dev/null)" ] ||
		{ echo "docs/architecture.md names $file, which does not exist"; status=1; }
done
# Types: a capitalised name, possibly qualified or with template arguments.
for type in $(printf '%s\n' "$names" | grep -E '^([A-Z]+::)?[A-Z][A-Za-z0-9]*[a-z][A-Za-z0-9]*(<.*>)?$' | sed 's/<.*//; s/.*:://' | sort -u); do
	grep -rqE "(class|struct|namespace|enum( class)?|using|typedef[^;]*)[[:space:]]+$type\b" dsp code modem stream api tools testing ||
		{ echo "docs/architecture.md names the type $type, which does not exist"; status=1; }
done
exit $status
