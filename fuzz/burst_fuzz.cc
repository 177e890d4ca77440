// Whole bursts through the whole receiver: the transmitter's output for a
// fuzzed variant, mode, call sign, centre frequency, level, channel layout,
// lead-in and payload, quantized to 16 bits, then damaged by fuzzed sample
// edits, and fed to the receiver of the same variant.
//
// Input: variant, mode, call sign (6 bytes), centre frequency (2), level,
// channel layout, lead-in (2), tail, payload bytes of the mode, then edits of
// 5 bytes each: kind, sample position (3), argument.
//
// Without edits, clipping, a cut tail, carriers at the band edges or a level
// near the detection floor the burst must come out exactly: the events its
// metadata calls for with the call sign, mode and frequency sent, and the
// payload. With them, any message that passes its CRC must still be the
// payload sent.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "fuzz/byte_reader.hh"
#include "fuzz/driven_receiver.hh"
#include "modem/encoder.hh"

namespace {

// Edits interleaved 16-bit values in place; true when anything changed.
bool apply_edits(ByteReader &in, std::vector<short> &values)
{
	bool edited = false;
	for (int n = 0; n < 32 && in.remaining() >= 5; ++n) {
		int kind = in.byte();
		size_t at = in.number(3) % values.size();
		int arg = in.byte();
		size_t end = std::min(values.size(), at + arg + 1);
		switch (kind & 3) {
		case 0: values[at] ^= short(1 << (arg & 15)); break;
		case 1: values[at] = short(arg << 8 | kind); break;
		case 2: std::fill(values.begin() + at, values.begin() + end, short(0)); break;
		case 3:
			for (size_t i = at; i < end; ++i) values[i] = short(-values[i]);
			break;
		}
		edited = true;
	}
	return edited;
}

template <int RATE, int M>
void run(ByteReader &in)
{
	using Tx = Encoder<RATE, M>;
	static auto encoder = std::make_unique<Tx>();
	static std::vector<DSP::Complex<float>> burst(Tx::max_burst_length);
	constexpr int ext = Tx::extended_length;

	int mode = in.byte();
	static constexpr int common[] = {14, 15, 16, 0};
	mode = mode < 192 ? common[mode % 4] : in.byte();
	uint64_t raw = in.number(6);
	// Mostly valid call signs; the top bit sends the raw 47 bits, which may be 0 or too large.
	uint64_t call = raw >> 47 ? raw & ((uint64_t(1) << 47) - 1) : 1 + raw % (call_sign_limit - 1);
	constexpr double low = 800, high = RATE / 2 - 793.75;
	double freq = low + (high - low) * double(in.number(2)) / 65535;
	double level = -60 + in.byte() % 51;
	int channel = in.byte() % 5;
	int lead = in.number(2) % (2 * ext);
	int tail_byte = in.byte();
	int tail = tail_byte < 200 ? 5 * ext : (tail_byte - 200) * ext / 8;
	uint8_t payload[170] = {};
	in.bytes(payload, Air::payload_bytes(mode));

	int length = (*encoder)(burst.data(), payload, mode, call, freq);
	int width = channel ? 2 : 1;
	std::vector<short> values(size_t(lead + length + tail) * width, 0);
	float scale = 32768 * std::sqrt(2.f) * std::pow(10.f, float(level) / 20);
	Xorshift32 dither;
	bool clipped = false;
	auto quantize = [&](float x) {
		float d = (float(dither() >> 8) - float(dither() >> 8)) / float(1 << 24);
		float v = std::nearbyint(x * scale + d);
		if (v > 32767 || v < -32768) clipped = true, v = v > 0 ? 32767 : -32768;
		return short(v);
	};
	for (int n = 0; n < length; ++n) {
		short *frame = values.data() + size_t(lead + n) * width;
		short re = quantize(burst[n].re);
		switch (channel) {
		case 0: frame[0] = re; break;
		case 1: frame[0] = re; break;
		case 2: frame[1] = re; break;
		case 3: frame[0] = frame[1] = re; break;
		case 4: frame[0] = re, frame[1] = quantize(burst[n].im); break;
		}
	}
	bool edited = apply_edits(in, values);
	auto events = drive_receiver(RATE, M, channel, values.data(), values.size() / width);

	bool payload_mode = Air::payload_bytes(mode) > 0;
	std::string text(reinterpret_cast<const char *>(payload), strnlen(reinterpret_cast<const char *>(payload), 170));
	for (const CheckedEvent &e : events)
		if (e.status == STATUS_DONE && e.flips >= 0) ASSERT(payload_mode && e.payload == text);
	// Within 50 Hz of 0 Hz or of half the rate the DC blocker and the Hilbert
	// transformer take the outer carriers away, and below about -47 dBFS the
	// synchronizer's energy floor holds its metric under the threshold: a
	// clean burst there may be lost.
	bool inside = freq >= low + 50 && freq <= high - 50 && level >= -44;
	if (edited || clipped || tail_byte >= 200 || !inside) return;

	bool valid_call = call >= 1 && call < call_sign_limit;
	unsigned char rendered[9];
	render_call_sign(rendered, valid_call ? call : 0);
	std::string call_text(reinterpret_cast<const char *>(rendered), 9);
	int expected = !valid_call || (mode != 0 && !payload_mode) ? STATUS_NOPE : mode ? STATUS_SYNC : STATUS_PING;
	const CheckedEvent &meta = events.empty() ? CheckedEvent{} : events[0];
	bool expected_events = events.size() == (expected == STATUS_SYNC ? 2u : 1u) && meta.status == expected &&
			       meta.mode == mode && meta.call == call_text && std::fabs(meta.cfo - freq) < 1 &&
			       (expected != STATUS_SYNC || (events[1].status == STATUS_DONE && events[1].flips >= 0));
	if (expected_events) return;
	std::fprintf(stderr, "sent %d/%d mode %d call %s at %.2f Hz, %g dBFS, channel %d, lead-in %d; received:\n", RATE,
		     M, mode, call_text.c_str(), freq, level, channel, lead);
	for (const CheckedEvent &e : events) std::fprintf(stderr, "%s", e.line.c_str());
	ASSERT(expected_events);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	ByteReader in(data, size);
	switch (in.byte() % 6) {
	case 0: run<8000, 2>(in); break;
	case 1: run<8000, 4>(in); break;
	case 2: run<8000, 8>(in); break;
	case 3: run<48000, 2>(in); break;
	case 4: run<48000, 4>(in); break;
	case 5: run<48000, 8>(in); break;
	}
	return 0;
}
