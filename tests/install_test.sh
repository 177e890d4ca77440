#!/bin/sh
# Installs the library into a temporary prefix, builds the consumers in
# examples/ against the installed tree only, and checks that each prints
# decode_stream's lines for the bundled recording.
# usage: install_test.sh BUILD_DIR SOURCE_DIR DECODE_STREAM LIBDIR PYTHON_DIR GENERATOR
set -eu
build=$1 source=$2 decode_stream=$3 libdir=$4 pydir=$5 generator=$6
case $pydir in /*) echo "the Python directory $pydir must be relative to the prefix" >&2; exit 1 ;; esac
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
example=$source/examples/bursts_48000_4.s16
"$decode_stream" 48000 4 < "$example" > "$tmp/expected"
test -s "$tmp/expected"

cmake --install "$build" --prefix "$prefix" --component library > /dev/null
lib=$prefix/$libdir

# The shared library exports the header's functions and nothing else.
grep -o 'ofdm_burst_[a-z_]*(' "$prefix/include/ofdm_burst.h" | tr -d '(' | sort -u > "$tmp/declared"
nm -D --defined-only "$lib/libofdm_burst.so.1" | awk '{print $3}' | sort > "$tmp/exported"
diff "$tmp/declared" "$tmp/exported"

check() { # name command...: the command's output must be decode_stream's
	name=$1; shift
	"$@" 48000 4 < "$example" > "$tmp/$name.out"
	cmp "$tmp/expected" "$tmp/$name.out" || { echo "$name prints other lines" >&2; exit 1; }
}

export PKG_CONFIG_PATH="$lib/pkgconfig"
${CC:-cc} -o "$tmp/c_shared" "$source/examples/c_consumer/decode.c" $(pkg-config --cflags --libs ofdm_burst)
LD_LIBRARY_PATH=$lib check c_shared "$tmp/c_shared"
# Statically: the archive and what pkg-config says it needs.
${CC:-cc} -o "$tmp/c_static" "$source/examples/c_consumer/decode.c" $(pkg-config --cflags ofdm_burst) \
	$(pkg-config --static --libs ofdm_burst | sed 's/-lofdm_burst/-l:libofdm_burst.a/')
check c_static "$tmp/c_static"

cmake -S "$source/examples/cmake_consumer" -B "$tmp/cmake_build" -G "$generator" \
	-DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build "$tmp/cmake_build" > /dev/null
LD_LIBRARY_PATH=$lib check cmake "$tmp/cmake_build/decode"

# The module finds the library it was installed with.
unset OFDM_BURST_LIBRARY
PYTHONPATH=$prefix/$pydir check python /usr/bin/python3 "$source/examples/python_consumer/decode.py"
# The demodulator named reaches the receiver (on this recording the two
# correct different numbers of bits).
"$decode_stream" --demod enhanced 48000 4 < "$example" > "$tmp/enhanced"
PYTHONPATH=$prefix/$pydir /usr/bin/python3 "$source/examples/python_consumer/decode.py" 48000 4 enhanced \
	< "$example" | cmp "$tmp/enhanced" - || { echo "python's enhanced demodulator prints other lines" >&2; exit 1; }
# So does listening for any mapping.
"$decode_stream" 48000 any < "$example" > "$tmp/any"
PYTHONPATH=$prefix/$pydir /usr/bin/python3 "$source/examples/python_consumer/decode.py" 48000 any \
	< "$example" | cmp "$tmp/any" - || { echo "python's any mapping prints other lines" >&2; exit 1; }
# Its events' fields say what their lines say; each message names the
# mapping that decoded it, also when the receiver listened for any.
PYTHONPATH=$prefix/$pydir /usr/bin/python3 - "$example" <<'PYTHON'
import sys, numpy, ofdm_burst
samples = numpy.fromfile(sys.argv[1], dtype=numpy.int16)
with ofdm_burst.Receiver(48000, 4) as rx:
    events = rx.feed(samples) + rx.finish()
assert [e.kind for e in events] == ["PING"] + ["SYNC", "MESSAGE"] * 3, events
assert {e.call_sign for e in events if e.kind != "MESSAGE"} == {"DL1ABC"}, events
for e in events:
    fields = (f"FLIPS:{e.flips}|PAYLOAD:{e.payload.decode()}" if e.kind == "MESSAGE"
              else f"CFO:{e.cfo_hz:g}|MODE:{e.mode}|CALL:{e.call_sign:9}")
    assert e.line() == f"EVENT:{e.kind}|{fields}" and e.frame % 960 == 0, (e.line(), fields, e.frame)
for mapping, named in ((4, 4), ("any", 4), (ofdm_burst.MAPPING_ANY, 4), (8, 0)):
    with ofdm_burst.Receiver(48000, mapping) as rx:
        heard = rx.feed(samples) + rx.finish()
    assert [e.mapping for e in heard if e.kind == "MESSAGE"] == [named] * 3, (mapping, heard)
    assert mapping == 8 or [e.line() for e in heard] == [e.line() for e in events], (mapping, heard)
try:
    ofdm_burst.Receiver(48000, "all")
    raise AssertionError("a mapping named all was taken")
except ValueError:
    pass
PYTHON
