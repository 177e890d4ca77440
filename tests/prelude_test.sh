#!/bin/sh
# Every standard header that the receiver's headers include is in
# stream/receiver_prelude.hh, which stream/decoders.cc includes before it puts
# those headers into an unnamed namespace.
# usage: prelude_test.sh SOURCE_DIR
cd "${1:-$(dirname "$0")/..}" || exit 2
status=0
for header in $(grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]+>' dsp code modem | sed 's/.*<//; s/>.*//' | sort -u); do
	grep -q "#include <$header>" stream/receiver_prelude.hh || { echo "stream/receiver_prelude.hh lacks <$header>"; status=1; }
done
exit $status
