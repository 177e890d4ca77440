"""Decodes s16 audio from standard input with the ofdm_burst module and
prints the lines decode_stream prints:
    python3 decode.py 48000 4 < ../bursts_48000_4.s16
    python3 decode.py 48000 4 enhanced < ../bursts_48000_4.s16
    python3 decode.py 48000 any < ../bursts_48000_4.s16
"""
import sys

import numpy

import ofdm_burst


def show(events):
    for event in events:
        # The line as bytes: payloads need not be UTF-8.
        sys.stdout.buffer.write(event.line().encode("utf-8", "surrogateescape") + b"\n")


rate = int(sys.argv[1]) if len(sys.argv) > 1 else 48000
mapping = sys.argv[2] if len(sys.argv) > 2 else "4"
mapping = mapping if mapping == "any" else int(mapping)
demodulator = sys.argv[3] if len(sys.argv) > 3 else "reference"
with ofdm_burst.Receiver(rate, mapping, demodulator=demodulator) as rx:
    # Any number of frames will do; a last odd byte is not a sample.
    while chunk := sys.stdin.buffer.read(2000):
        show(rx.feed(numpy.frombuffer(chunk[:len(chunk) // 2 * 2], dtype=numpy.int16)))
    show(rx.finish())
