#include <numbers>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"
#include "code/bits.hh"
#include "code/crc.hh"
#include "dsp/fft.hh"
#include "modem/mls.hh"
#include "modem/xorshift.hh"
#include "tests/air.hh"

namespace {

using cmplx = DSP::Complex<float>;
using cd = std::complex<double>;

template <typename V> class EncoderTest : public testing::Test
{
      protected:
	using Enc = typename V::Tx;
	static constexpr int N = Enc::symbol_length, G = Enc::guard_length, E = Enc::extended_length;

	std::unique_ptr<Enc> encoder = std::make_unique<Enc>();
	std::unique_ptr<DSP::FastFourierTransform<N, cmplx, -1>> fwd =
	    std::make_unique<DSP::FastFourierTransform<N, cmplx, -1>>();
	std::vector<cmplx> burst = std::vector<cmplx>(Enc::max_burst_length);
	uint8_t payload[170];

	int encode(int mode, uint64_t call, double freq = 0, uint32_t seed = 1)
	{
		for (auto &b : payload) b = (seed = seed * 1664525 + 1013904223) >> 24;
		return (*encoder)(burst.data(), payload, mode, call, freq);
	}

	// Carriers -128 … 127 of symbol j, read from its block at the known position.
	std::vector<cmplx> carriers(int j)
	{
		std::vector<cmplx> spectrum(N), out(256);
		(*fwd)(spectrum.data(), burst.data() + j * E + G / 2);
		for (int k = 0; k < 256; ++k) out[k] = spectrum[(k - 128 + N) % N];
		return out;
	}
};

TYPED_TEST_SUITE(EncoderTest, AllVariants, VariantName);

// Blocks of 180 ms, eight data symbols with mapping 2 and four with the others, none in modes without
// payload. At 0 Hz each block's guard is a cyclic prefix and suffix around a symbol of unit mean power;
// at a centre frequency the burst is the one at 0 Hz mixed up, phase continuous from its first sample.
TYPED_TEST(EncoderTest, CyclicBlocksOfUnitPowerMixedToTheCentre)
{
	constexpr int N = TestFixture::N, G = TestFixture::G, E = TestFixture::E, rate = TypeParam::rate;
	EXPECT_EQ(E * 1000 / rate, 180);
	for (int mode : {0, 14, 15, 16, 255}) {
		int length = this->encode(mode, 777, 0);
		EXPECT_EQ(length, (mode % 255 ? (TypeParam::mapping == 2 ? 10 : 6) : 2) * E) << mode;
		std::vector<cmplx> base(this->burst.begin(), this->burst.begin() + length);
		for (int j = 0; j < length / E; ++j) {
			const cmplx *block = base.data() + j * E;
			for (int i = 0; i < G / 2; ++i) {
				ASSERT_LT(norm(block[i] - block[N + i]), 1e-10f) << j;
				ASSERT_LT(norm(block[G / 2 + N + i] - block[G / 2 + i]), 1e-10f) << j;
			}
			double power = 0;
			for (int m = 0; m < N; ++m) power += norm(block[G / 2 + m]);
			EXPECT_NEAR(power / N, 1, 1e-4) << "symbol " << j << ", mode " << mode;
		}
		this->encode(mode, 777, 1234.5);
		for (int n = 0; n < length; n += 7) {
			cd turn = std::polar(1.0, 2 * std::numbers::pi * std::fmod(1234.5 * n, rate) / rate);
			cd moved = cd(base[n].re, base[n].im) * turn;
			ASSERT_LT(std::abs(moved - cd(this->burst[n].re, this->burst[n].im)), 1e-5) << n;
		}
	}
}

// Two equal halves whose carriers -63 to 63 differ in sign by the sequence, and nothing outside them.
TYPED_TEST(EncoderTest, SynchronizationSymbolIsTwoHalvesOfTheSequence)
{
	constexpr int N = TestFixture::N, G = TestFixture::G, L = N / 2;
	this->encode(16, 12345);
	for (int i = 0; i < L; ++i) ASSERT_EQ(this->burst[G / 2 + i], this->burst[G / 2 + L + i]) << i;
	DSP::FastFourierTransform<L, cmplx, -1> half;
	std::vector<cmplx> spectrum(L);
	half(spectrum.data(), this->burst.data() + G / 2);
	auto bin = [&](int c) { return spectrum[(c + L) % L]; };
	MLS seq(0x89);
	for (int c = -63; c <= 63; ++c) {
		cmplx r = bin(c) * conj(bin(c - 1)) / norm(bin(c - 1));
		EXPECT_NEAR(r.re, seq() ? -1 : 1, 1e-4) << c;
		EXPECT_NEAR(r.im, 0, 1e-4) << c;
	}
	double inside = 0, outside = 0;
	for (int k = 0; k < L; ++k) (k < 64 || k >= L - 64 ? inside : outside) += norm(spectrum[k]);
	EXPECT_LT(outside, 1e-8 * inside);
}

// Descrambled metadata carriers differ in sign by the BCH code word (whose generator bch_test checks)
// of mode, call sign and their CRC-16.
TYPED_TEST(EncoderTest, MetadataCarriesCodeWordOfModeCallSignAndCrc)
{
	static int8_t genmat[71 * 255];
	using Generator = CODE::BoseChaudhuriHocquenghemGenerator<255, 71>;
	Generator::matrix(genmat, true, CODE::bch_255_71_minimal_polynomials);
	for (auto [mode, call] : {std::pair<int, uint64_t>{14, encode_call_sign("DL1ABC")}, {0, 1},
				  {255, call_sign_limit - 1}, {16, 0x7FFFFFFFFFFF}}) {
		this->encode(mode, call, 0);
		auto x = this->carriers(1);
		MLS scrambler(0x12B);
		for (int k = 1; k < 256; ++k)
			if (scrambler()) x[k] = -x[k];
		uint8_t code[32] = {};
		for (int k = 0; k < 255; ++k) {
			cmplx r = x[k + 1] * conj(x[k]) / norm(x[k]);
			ASSERT_NEAR(std::abs(r.re), 1, 1e-3);
			ASSERT_NEAR(r.im, 0, 1e-3);
			CODE::set_be_bit(code, k, r.re < 0);
		}
		uint64_t meta = 0;
		unsigned crc = 0;
		for (int k = 0; k < 55; ++k) meta |= uint64_t(CODE::get_be_bit(code, k)) << k;
		for (int k = 0; k < 16; ++k) crc |= CODE::get_be_bit(code, 55 + k) << k;
		EXPECT_EQ(meta & 255, uint64_t(mode));
		EXPECT_EQ(meta >> 8, call & ((uint64_t(1) << 47) - 1));
		EXPECT_EQ(CODE::CRC<unsigned short>(0xA8F4)(uint64_t(meta << 9)), crc);
		uint8_t word[32] = {};
		CODE::bch_encode(word, code, genmat);
		EXPECT_EQ(std::memcmp(word, code, 32), 0) << "mode " << mode;
	}
}

// Data carriers turn by the mapping's points; their bits are a polar code word of the whitened payload.
TYPED_TEST(EncoderTest, DataCarriersCarryPolarCodeWord)
{
	using Enc = typename TestFixture::Enc;
	constexpr int M = TypeParam::mapping, bits = Enc::mod_bits;
	for (int mode : {14, 15, 16}) {
		this->encode(mode, 42, 0, mode);
		std::vector<int> slots; // received bit of every slot, 0 or 1
		auto prev = this->carriers(1);
		for (int s = 0; s < Enc::symbol_count; ++s) {
			auto cur = this->carriers(2 + s);
			for (int k = 0; k < 256; ++k) {
				cmplx z = cur[k] * conj(prev[k]) / norm(prev[k]);
				ASSERT_NEAR(norm(z), 1, 1e-3);
				float re = std::abs(z.re), im = std::abs(z.im);
				bool b[3] = {z.re < 0, z.im < 0};
				if (M == 8) {
					b[0] = re < im, b[1] = z.re < 0, b[2] = z.im < 0;
					ASSERT_NEAR(std::max(re, im), 0.9238795f, 1e-3);
				}
				slots.insert(slots.end(), b, b + bits);
			}
			prev = cur;
		}
		// The first 2048 slots are a code word: frozen positions of u = x F^11 are 0.
		uint8_t u[2048];
		std::copy(slots.begin(), slots.begin() + 2048, u);
		for (int h = 1; h < 2048; h *= 2)
			for (int b = 0; b < 2048; b += 2 * h)
				for (int i = b; i < b + h; ++i) u[i] ^= u[i + h];
		const unsigned *frozen = Air::payload_mode(mode)->frozen;
		std::vector<int> info;
		for (int i = 0; i < 2048; ++i)
			if ((frozen[i / 32] >> (i % 32)) & 1)
				ASSERT_EQ(u[i], 0) << i;
			else
				info.push_back(i);
		// Systematic: whitened payload bits, then their CRC-32, on the information positions.
		int K = 8 * Air::payload_bytes(mode);
		ASSERT_EQ(int(info.size()), K + 32);
		Xorshift32 whitening;
		CODE::CRC<unsigned int> crc32(0x8F6E37A0);
		for (int byte = 0; byte < K / 8; ++byte) {
			uint8_t w = this->payload[byte] ^ whitening();
			for (int i = 0; i < 8; ++i) {
				ASSERT_EQ(slots[info[8 * byte + i]], (w >> i) & 1) << "payload byte " << byte;
				crc32(bool((w >> i) & 1));
			}
		}
		for (int i = 0; i < 32; ++i) EXPECT_EQ(slots[info[K + i]], (crc32.crc >> i) & 1);
		// Mapping 8 repeats the code word's start in the 1024 slots past its end.
		for (size_t i = 2048; i < slots.size(); ++i) ASSERT_EQ(slots[i], slots[i - 2048]) << i;
	}
}

// Nine characters of " 0-9A-Z" in base 37, left aligned and case blind, anything else 0; rendered
// back most significant first, blank when out of range.
TEST(CallSign, LeftAlignedBase37BothWays)
{
	EXPECT_EQ(encode_call_sign("ABC"), ((11 * 37 + 12) * 37 + 13) * 2565726409ull); // 37^6
	EXPECT_EQ(encode_call_sign("dL1aBc"), encode_call_sign("DL1ABC"));
	EXPECT_EQ(encode_call_sign("        0"), 1u);
	for (const char *bad : {"", " ", "         ", "ABCDEFGHIJ", "DL-1", "Ä", "A\tB"})
		EXPECT_EQ(encode_call_sign(bad), 0u) << bad;
	auto render = [](uint64_t value) {
		unsigned char out[10] = {};
		render_call_sign(out, value);
		return std::string(reinterpret_cast<char *>(out));
	};
	for (auto [value, text] : {std::pair<uint64_t, const char *>{0, "         "}, {1, "        0"},
				   {129961739795076, "ZZZZZZZZZ"}, {129961739795077, "         "}})
		EXPECT_EQ(render(value), text) << value;
	EXPECT_EQ(render(encode_call_sign("K 9")), "K 9      ");
}

}
