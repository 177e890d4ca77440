/* Decodes s16 audio from standard input with libofdm_burst and prints the
 * lines decode_stream prints; a third argument "enhanced" picks the enhanced
 * demodulator, as decode_stream --demod enhanced does.
 *   cc decode.c $(pkg-config --cflags --libs ofdm_burst) -o decode
 *   ./decode 48000 4 < ../bursts_48000_4.s16
 */
#include <ofdm_burst.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void print_event(const ofdm_burst_event *event, void *context)
{
    char line[1024];
    ofdm_burst_event_line(event, line, sizeof line);
    fprintf(context, "%s\n", line);
}

int main(int argc, char **argv)
{
    int rate = argc > 1 ? atoi(argv[1]) : 48000, mapping = argc > 2 ? atoi(argv[2]) : 4, error;
    int demodulator = argc > 3 && !strcmp(argv[3], "enhanced") ? OFDM_BURST_DEMOD_ENHANCED : OFDM_BURST_DEMOD_REFERENCE;
    ofdm_burst_receiver *rx = ofdm_burst_receiver_create_ex(rate, mapping, 0, demodulator, &error);
    if (!rx) {
        fprintf(stderr, "%s\n", ofdm_burst_strerror(error));
        return 1;
    }
    int16_t samples[1000]; /* any number of frames will do */
    size_t frames;
    while ((frames = fread(samples, sizeof *samples, 1000, stdin)) > 0)
        ofdm_burst_receiver_feed(rx, samples, frames, print_event, stdout);
    ofdm_burst_receiver_finish(rx, print_event, stdout);
    ofdm_burst_receiver_destroy(rx);
    return 0;
}
