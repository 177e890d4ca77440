#include <numbers>
#include "tests/air.hh"

// The receiver's statuses over whole bursts, fed as the driver feeds them but without replacing the
// receiver, to show what one receiver does with overlapping and refused bursts.

namespace {

typedef DSP::Complex<float> cmplx;

template <typename V>
class BurstStatus : public testing::Test
{
protected:
	static constexpr int RATE = V::rate;
	using Tx = typename V::Tx;
	std::unique_ptr<Tx> tx = std::make_unique<Tx>();
	std::vector<cmplx> signal = std::vector<cmplx>(12 * RATE);

	// Adds a burst starting at the given second, carriers around centre Hz. A garbled symbol is
	// shifted by half a carrier spacing, which spoils every carrier ratio in it.
	void add(double start, int mode, uint64_t call_sign, const std::string &text, double centre, float gain = 1,
		 int garbled = -1)
	{
		uint8_t payload[170] = {};
		std::copy(text.begin(), text.end(), payload);
		std::vector<cmplx> burst(Tx::max_burst_length);
		int length = (*tx)(burst.data(), payload, mode, call_sign, centre);
		for (int n = 0; garbled >= 0 && n < Tx::extended_length; ++n) {
			double phase = 2 * std::numbers::pi * 3.125 * n / RATE;
			burst[garbled * Tx::extended_length + n] *= cmplx(std::cos(phase), std::sin(phase));
		}
		int first = std::lround(start * RATE);
		for (int n = 0; n < length; ++n) signal[first + n] += burst[n] * gain;
	}

	// Status codes and event lines of the whole signal.
	std::pair<std::vector<int>, std::vector<std::string>> receive()
	{
		auto rx = std::make_unique<typename V::Rx>();
		Sound sound(signal.size());
		for (size_t n = 0; n < signal.size(); ++n) sound[n] = signal[n].re * (2500 / 32768.0);
		std::vector<short> samples = pcm(sound, 5);
		std::vector<int> statuses;
		std::vector<std::string> lines;
		for (size_t i = 0; i + RATE / 50 <= samples.size(); i += RATE / 50) {
			if (!rx->feed(samples.data() + i, RATE / 50, 0)) continue;
			int status = rx->process();
			if (status == STATUS_OKAY) continue;
			statuses.push_back(status);
			Event event;
			read_event(status, rx.get(), event);
			char line[event_line_capacity];
			event_line(event, line, sizeof line);
			lines.push_back(line + std::string("\n"));
		}
		return {statuses, lines};
	}

	static constexpr double burst_seconds = (2 + Tx::symbol_count) * Tx::extended_length / double(RATE);
	static constexpr double symbol_seconds = Tx::extended_length / double(RATE);
	static constexpr double other_centre = RATE == 8000 ? 2900 : 4000; // Hz, clear of 1000 Hz
};

TYPED_TEST_SUITE(BurstStatus, AllVariants, VariantName);

const uint64_t limit = 129961739795077; // 37^9: the first number that is not a call sign

// Event lines as the bursts carried them: call signs up to the last valid one, beyond it refused,
// other modes keeping their call sign as decoded (its lowest nine digits shown), and a failed
// payload leaving the whitening stream unshown.
TYPED_TEST(BurstStatus, EventLinesOfCallSignsModesAndAFailedPayload)
{
	this->add(0.5, 16, limit - 1, "zz", 1500);
	this->add(2.5, 16, limit, "beyond", 1500);
	this->add(4.5, 0, limit, "", 1500);
	this->add(6.5, 0, 0, "", 1500);
	this->add(8.5, 200, limit + 5, "", 1500);
	this->add(9.5, 16, limit - 1, "damaged", 1500, 1, 3);
	std::vector<std::string> expected = {
		"EVENT:SYNC|CFO:1500|MODE:16|CALL:ZZZZZZZZZ\n", "EVENT:MESSAGE|FLIPS:0|PAYLOAD:zz\n",
		"EVENT:NOPE|CFO:1500|MODE:16|CALL:         \n", "EVENT:NOPE|CFO:1500|MODE:0|CALL:         \n",
		"EVENT:NOPE|CFO:1500|MODE:0|CALL:         \n", "EVENT:NOPE|CFO:1500|MODE:200|CALL:        4\n",
		"EVENT:SYNC|CFO:1500|MODE:16|CALL:ZZZZZZZZZ\n", "EVENT:MESSAGE|FLIPS:-1|PAYLOAD:\n"};
	EXPECT_EQ(this->receive().second, expected);
}

// A second preamble during a burst: one accepted restarts the receiver on the new burst; a ping or a
// preamble that fails leaves the burst in progress to complete.
TYPED_TEST(BurstStatus, SecondPreambleRestartsOrLeavesTheBurstInProgress)
{
	double later = 2.4 * this->symbol_seconds, other = this->other_centre;
	this->add(0.5, 16, 1, "lost", 1000);
	this->add(0.5 + later, 15, 2, "taken", other, 2);
	this->add(4, 15, 1, "kept through a ping", 1000);
	this->add(4 + later, 0, 2, "", other, 2);
	this->add(7.5, 16, 1, "kept through a failure", 1000);
	this->add(7.5 + later, 0, 2, "", other, 2, 1);
	auto [statuses, lines] = this->receive();
	EXPECT_EQ(statuses, (std::vector<int>{STATUS_SYNC, STATUS_SYNC, STATUS_DONE, STATUS_SYNC, STATUS_PING,
					      STATUS_DONE, STATUS_SYNC, STATUS_FAIL, STATUS_DONE}));
	ASSERT_EQ(lines.size(), 9u);
	EXPECT_EQ(lines[2], "EVENT:MESSAGE|FLIPS:0|PAYLOAD:taken\n");
	EXPECT_EQ(lines[5], "EVENT:MESSAGE|FLIPS:0|PAYLOAD:kept through a ping\n");
	EXPECT_EQ(lines[8], "EVENT:MESSAGE|FLIPS:0|PAYLOAD:kept through a failure\n");
}

// A ping staged in the step that completes the burst is swallowed by its end; one staged a step
// earlier is reported.
TYPED_TEST(BurstStatus, LastSymbolOutranksAPreambleStatusOfTheSameStep)
{
	int swallowed = 0, reported = 0;
	for (int step = 0; step < 8; ++step) {
		this->signal.assign(this->signal.size(), cmplx());
		double start =
		    0.5 + this->burst_seconds - 2.6 * this->symbol_seconds + step * this->symbol_seconds / 4;
		this->add(0.5, 16, 1, "end", 1000);
		this->add(start, 0, 2, "", this->other_centre, 2);
		auto [statuses, lines] = this->receive();
		ASSERT_GE(statuses.size(), 2u);
		EXPECT_EQ(statuses.front(), STATUS_SYNC);
		EXPECT_EQ(std::count(statuses.begin(), statuses.end(), STATUS_DONE), 1);
		EXPECT_EQ(std::count(lines.begin(), lines.end(), "EVENT:MESSAGE|FLIPS:0|PAYLOAD:end\n"), 1);
		swallowed += statuses == std::vector<int>{STATUS_SYNC, STATUS_DONE};
		reported += std::count(statuses.begin(), statuses.end(), STATUS_PING) == 1;
	}
	EXPECT_GE(swallowed, 1);
	EXPECT_GE(reported, 1);
	EXPECT_EQ(swallowed + reported, 8);
}

}
