"""Receiver of short OFDM data bursts sent over audio: libofdm_burst for Python.

    import numpy, ofdm_burst
    samples = numpy.fromfile("recording.s16", dtype=numpy.int16)
    with ofdm_burst.Receiver(48000, 4) as rx:
        for event in rx.feed(samples) + rx.finish():
            print(event.kind, event.call_sign, event.payload, event.line())

The library is the one named by the environment variable OFDM_BURST_LIBRARY,
else the one installed with this module, else libofdm_burst found by the
system's usual search.
"""

import ctypes
import ctypes.util
import os

import numpy

__all__ = ["Receiver", "Event", "KINDS", "MAPPING_ANY", "DEMODULATORS", "version"]

_INSTALLED_LIBRARY = "@library@"


def _load():
    path = os.environ.get("OFDM_BURST_LIBRARY")
    if not path and os.path.isabs(_INSTALLED_LIBRARY) and os.path.exists(_INSTALLED_LIBRARY):
        path = _INSTALLED_LIBRARY
    if not path:
        path = ctypes.util.find_library("ofdm_burst")
    if not path:
        raise ImportError("libofdm_burst not found: set OFDM_BURST_LIBRARY to its path")
    return ctypes.CDLL(path)


class _CEvent(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_int), ("cfo_hz", ctypes.c_float), ("mode", ctypes.c_int),
                ("call_sign", ctypes.c_char * 10), ("flips", ctypes.c_int),
                ("payload_size", ctypes.c_size_t), ("payload", ctypes.c_ubyte * 170),
                ("frame", ctypes.c_uint64), ("mapping", ctypes.c_int)]


_HANDLER = ctypes.CFUNCTYPE(None, ctypes.POINTER(_CEvent), ctypes.c_void_p)
_lib = _load()
_lib.ofdm_burst_receiver_create_ex.restype = ctypes.c_void_p
_lib.ofdm_burst_receiver_create_ex.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                               ctypes.POINTER(ctypes.c_int)]
_lib.ofdm_burst_receiver_feed.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                          _HANDLER, ctypes.c_void_p]
_lib.ofdm_burst_receiver_finish.argtypes = [ctypes.c_void_p, _HANDLER, ctypes.c_void_p]
_lib.ofdm_burst_receiver_destroy.argtypes = [ctypes.c_void_p]
_lib.ofdm_burst_receiver_destroy.restype = None
_lib.ofdm_burst_event_line.argtypes = [ctypes.POINTER(_CEvent), ctypes.c_char_p, ctypes.c_size_t]
_lib.ofdm_burst_event_line.restype = ctypes.c_size_t
_lib.ofdm_burst_strerror.restype = ctypes.c_char_p
_lib.ofdm_burst_version.restype = ctypes.c_char_p

# Event kinds by their number in the C API.
KINDS = {1: "PREAMBLE_FAIL", 2: "SYNC", 3: "MESSAGE", 4: "HEAP_ERROR", 5: "NOPE", 6: "PING"}
_ERROR_MEMORY = 4
# The mapping that listens for all three.
MAPPING_ANY = 0
# Demodulators by their number in the C API.
DEMODULATORS = {"reference": 0, "enhanced": 1}


def version():
    """The library's version, such as "1.0.0"."""
    return _lib.ofdm_burst_version().decode()


class Event:
    """One event of the stream.

    kind: "SYNC", "MESSAGE", "PING", "NOPE", "PREAMBLE_FAIL" or "HEAP_ERROR".
    cfo_hz, mode, call_sign (without its padding): for SYNC, PING and NOPE.
    flips: for MESSAGE, the corrected bits, -1 when the payload was lost.
    payload: for MESSAGE, the received bytes up to the first zero byte.
    mapping: for MESSAGE, 2, 4 or 8, the mapping that decoded the payload;
    0 when it was lost.
    frame: input frames consumed when the event was reported.
    """

    def __init__(self, c_event):
        self._c_event = c_event
        self.kind = KINDS.get(c_event.kind, str(c_event.kind))
        self.cfo_hz = c_event.cfo_hz
        self.mode = c_event.mode
        self.call_sign = c_event.call_sign.decode("ascii", "replace").strip()
        self.flips = c_event.flips
        self.payload = bytes(c_event.payload[:c_event.payload_size])
        self.frame = c_event.frame
        self.mapping = c_event.mapping

    def line(self):
        """The line decode_stream prints for the event, without the newline.
        Payload bytes that are not UTF-8 come back as surrogates:
        line().encode("utf-8", "surrogateescape") gives the bytes exactly."""
        buffer = ctypes.create_string_buffer(1024)
        _lib.ofdm_burst_event_line(ctypes.byref(self._c_event), buffer, len(buffer))
        return buffer.value.decode("utf-8", "surrogateescape")

    def __repr__(self):
        return f"<ofdm_burst.Event {self.line()!r} at frame {self.frame}>"


class Receiver:
    """A receiver for one stream.

    rate: 8000 or 48000; mapping: 2, 4 or 8, as the transmitter's, or "any"
    (also 0) to listen for all three at once, each burst reported once with
    the mapping that decoded it in its MESSAGE; channel:
    0 mono, 1 left, 2 right, 3 both averaged, 4 in-phase and quadrature;
    demodulator: "reference" (the default) or "enhanced", which hears weaker
    bursts. Raises ValueError for an unsupported argument, MemoryError
    without memory for the receiver.
    """

    def __init__(self, rate=48000, mapping=4, channel=0, demodulator="reference"):
        if demodulator not in DEMODULATORS:
            raise ValueError(f"unknown demodulator {demodulator!r}: one of {', '.join(DEMODULATORS)}")
        if mapping == "any":
            mapping = MAPPING_ANY
        elif not isinstance(mapping, int):
            raise ValueError(f"unknown mapping {mapping!r}: 2, 4, 8 or \"any\"")
        error = ctypes.c_int()
        self._rx = _lib.ofdm_burst_receiver_create_ex(rate, mapping, channel, DEMODULATORS[demodulator],
                                                      ctypes.byref(error))
        if not self._rx:
            message = _lib.ofdm_burst_strerror(error.value).decode()
            raise MemoryError(message) if error.value == _ERROR_MEMORY else ValueError(message)
        self._width = 2 if 1 <= channel <= 4 else 1
        self._events = []
        self._handler = _HANDLER(self._collect)

    def _collect(self, c_event, context):
        self._events.append(Event(_CEvent.from_buffer_copy(c_event.contents)))

    def _take(self):
        events, self._events = self._events, []
        return events

    def _check_open(self):
        if not self._rx:
            raise ValueError("the receiver is closed")

    def feed(self, samples):
        """Takes int16 samples in any number, and returns the events they
        complete. Mono: a 1-D array. Two values per frame (channel 1 to 4):
        frames x 2, or 1-D interleaved."""
        self._check_open()
        samples = numpy.asarray(samples)
        if samples.dtype != numpy.int16:
            raise TypeError(f"samples must be int16, not {samples.dtype}")
        whole = (samples.ndim == 1 and samples.size % self._width == 0
                 or samples.ndim == 2 and self._width == 2 and samples.shape[1] == 2)
        if not whole:
            raise ValueError(f"samples of shape {samples.shape} do not hold whole frames of "
                             f"{self._width} value(s)")
        samples = numpy.ascontiguousarray(samples)
        _lib.ofdm_burst_receiver_feed(self._rx, samples.ctypes.data, samples.size // self._width,
                                      self._handler, None)
        return self._take()

    def finish(self):
        """Ends the input and returns the events still pending."""
        self._check_open()
        _lib.ofdm_burst_receiver_finish(self._rx, self._handler, None)
        return self._take()

    def close(self):
        if getattr(self, "_rx", None):
            _lib.ofdm_burst_receiver_destroy(self._rx)
            self._rx = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def __del__(self):
        self.close()
