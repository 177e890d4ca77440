/* ofdm_burst: a receiver of short OFDM data bursts sent over audio.
 *
 * Feed it 16-bit PCM in any number of frames at a time; it calls your
 * handler once for every event, in the order the bursts arrive: a burst's
 * metadata (SYNC, or PING, or NOPE), then its payload (MESSAGE). Every SYNC
 * is followed by exactly one MESSAGE before any other SYNC. Each event can
 * be turned into the line the decode_stream program prints for it.
 *
 * One receiver is used by one thread at a time; any number of receivers
 * may run at once, each on its own thread. The library never prints, never
 * exits, and allocates nothing after ofdm_burst_receiver_create (a receiver
 * takes 0.55 MB at 8000 Hz, 1.34 MB at 48000 Hz, the enhanced demodulator
 * about 0.8 MB more; one for any mapping three times that).
 */
#ifndef OFDM_BURST_H
#define OFDM_BURST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ofdm_burst_receiver ofdm_burst_receiver;

/* Event kinds. */
#define OFDM_BURST_PREAMBLE_FAIL 1 /* a preamble whose metadata failed */
#define OFDM_BURST_SYNC 2          /* a burst with payload begins */
#define OFDM_BURST_MESSAGE 3       /* the payload of the burst that began */
#define OFDM_BURST_HEAP_ERROR 4    /* no memory for a receiver: blocks are dropped until there is */
#define OFDM_BURST_NOPE 5          /* valid metadata of a mode this receiver does not take */
#define OFDM_BURST_PING 6          /* a call sign without payload */

typedef struct ofdm_burst_event {
    int kind;               /* 1 PREAMBLE_FAIL, 2 SYNC, 3 MESSAGE, 4 HEAP_ERROR, 5 NOPE, 6 PING */
    float cfo_hz;           /* SYNC, NOPE, PING */
    int mode;               /* SYNC, NOPE, PING */
    char call_sign[10];     /* nine characters and a terminating zero */
    int flips;              /* MESSAGE: corrected bits, -1 when the payload failed */
    size_t payload_size;    /* MESSAGE: bytes before the first zero byte; 0 when failed */
    unsigned char payload[170];
    uint64_t frame;         /* input frames consumed when the event was reported */
    int mapping;            /* MESSAGE: 2, 4 or 8, the mapping that decoded the payload; 0 when failed */
} ofdm_burst_event;
/* Fields an event kind does not name hold: cfo_hz -1, mode -1, call_sign
 * empty, flips 0, payload_size 0, payload all zero.
 * cfo_hz: the centre frequency of the burst's carriers in hertz.
 * mode: 14, 15 or 16 for a SYNC (170, 128 or 85 payload bytes), 0 for a
 * PING, anything for a NOPE.
 * call_sign: padded with spaces to nine characters, from A-Z, 0-9 and space.
 * flips: the number of payload bits the error correction changed; -1 means
 * no candidate passed the payload's CRC-32: the burst was lost, and
 * payload_size is 0.
 * payload: the received bytes; a message ends at its first zero byte, so
 * payload_size is at most 170.
 * frame: the position in the input, in frames from the first, of the end
 * of the 20 ms block after which the event was reported.
 * mapping: came last, after the structure's first release. The library
 * makes every event it hands out, so a program built with the shorter
 * structure reads its fields where they always were; and
 * ofdm_burst_event_line reads nothing after frame, so such a program may
 * pass it a copy of the shorter size. */

/* Called for each event; the event is valid only during the call. */
typedef void (*ofdm_burst_handler)(const ofdm_burst_event *event, void *context);

/* Errors. */
#define OFDM_BURST_ERROR_RATE 1     /* the rate is neither 8000 nor 48000 */
#define OFDM_BURST_ERROR_MAPPING 2  /* the mapping is not 2, 4, 8 or OFDM_BURST_MAPPING_ANY */
#define OFDM_BURST_ERROR_CHANNEL 3  /* the channel selection is not 0 to 4 */
#define OFDM_BURST_ERROR_MEMORY 4   /* no memory for the receiver */
#define OFDM_BURST_ERROR_ARGUMENT 5 /* a null receiver, or null samples with frames */
#define OFDM_BURST_ERROR_DEMODULATOR 6 /* the demodulator is not one of those below */

/* The mapping that listens for all three. */
#define OFDM_BURST_MAPPING_ANY 0

/* Demodulators of the data symbols. Both take every burst of this air
 * interface; they differ in how much noise they stand. */
#define OFDM_BURST_DEMOD_REFERENCE 0 /* each carrier against the previous symbol's */
#define OFDM_BURST_DEMOD_ENHANCED 1  /* against a channel estimate that is smoothed
                                        across carriers and carried over from the
                                        metadata symbol: about 2 dB more sensitive
                                        in noise; a second preamble search on the
                                        audio band that mains hum does not blind */

/* A new receiver, or NULL with *error set (error may be NULL).
 * rate: samples per second per channel, 8000 or 48000.
 * mapping: points of the data constellation, 2, 4 or 8, as the
 * transmitter's; or OFDM_BURST_MAPPING_ANY when it is not known: a receiver
 * for each of the three hears the same input, and each burst is reported
 * once, its MESSAGE from the one whose payload passes its CRC, or with
 * flips -1 when none does, once mapping 2's receiver gives up (four
 * symbols, 0.72 s, after those of mappings 4 and 8).
 * channel: what one frame holds: 0 one mono value; 1, 2, 3 two interleaved
 * values (left, right) of which the receiver takes the left, the right or
 * their average; 4 two values, in-phase then quadrature.
 * Destroy it with ofdm_burst_receiver_destroy. */
ofdm_burst_receiver *ofdm_burst_receiver_create(int rate, int mapping, int channel, int *error);

/* As ofdm_burst_receiver_create, with the demodulator chosen:
 * OFDM_BURST_DEMOD_REFERENCE (what ofdm_burst_receiver_create uses) or
 * OFDM_BURST_DEMOD_ENHANCED; any other value fails with
 * OFDM_BURST_ERROR_DEMODULATOR. */
ofdm_burst_receiver *ofdm_burst_receiver_create_ex(int rate, int mapping, int channel, int demodulator,
                                                   int *error);

/* Takes frames frames (frames * 1 or frames * 2 values, as the channel
 * selection says) of native-endian signed 16-bit samples, and calls handler
 * (unless it is NULL) with context for every event they complete, in
 * order. Any number of frames, 0 included, may come in each call; the
 * events depend only on the samples, not on how they were cut. Returns 0,
 * or OFDM_BURST_ERROR_ARGUMENT. */
int ofdm_burst_receiver_feed(ofdm_burst_receiver *rx, const int16_t *samples, size_t frames,
                             ofdm_burst_handler handler, void *context);

/* Ends the input: calls handler for everything still pending. A trailing
 * part of a 20 ms block is dropped; silence follows for as long as the
 * receiver needs to search all the input it holds and finish a burst in
 * progress (at most about 2.5 s of it): a burst that ends with the input
 * gives its MESSAGE, and one cut short gives a MESSAGE with flips -1 after
 * its SYNC. More input may follow, as if after a pause. Returns 0, or
 * OFDM_BURST_ERROR_ARGUMENT. */
int ofdm_burst_receiver_finish(ofdm_burst_receiver *rx, ofdm_burst_handler handler, void *context);

/* Frees the receiver; NULL is accepted. */
void ofdm_burst_receiver_destroy(ofdm_burst_receiver *rx);

/* Writes the line decode_stream prints for the event, without the newline,
 * as snprintf does: at most size bytes including a terminating zero.
 * Returns the length of the whole line; a line never exceeds 1023
 * characters. Payload bytes are escaped so that the line stays one line:
 * \\ \n \r \t, \xHH for the other bytes below 0x20 and 0x7f; bytes from
 * 0x80 pass unchanged. */
size_t ofdm_burst_event_line(const ofdm_burst_event *event, char *buffer, size_t size);

/* A message for an error code; never NULL. */
const char *ofdm_burst_strerror(int error);

/* The library's version, such as "1.0.0". */
const char *ofdm_burst_version(void);

#ifdef __cplusplus
}
#endif

#endif
