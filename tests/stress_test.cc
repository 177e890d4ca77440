#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/air.hh"

// Hard conditions for the receiver over the six variants, in process with
// decode_stream's loop. E below is the extended symbol length (180 ms); a
// burst is the synchronisation symbol, the metadata symbol and four data
// symbols (eight for mapping 2), one E each.

namespace {

template <typename V> class Stress : public testing::Test
{
      protected:
	static constexpr int rate = V::rate, E = V::extended;
	const std::string sync = "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   ";

	static Sound quiet(double extended_lengths) { return Sound(long(extended_lengths * E), 0.0); }
	static std::string sync_at(int centre)
	{
		return "EVENT:SYNC|CFO:" + std::to_string(centre) + "|MODE:16|CALL:N0CALL   ";
	}
};

typedef testing::Types<Variant<8000, 2>, Variant<8000, 4>, Variant<8000, 8>, Variant<48000, 2>,
                       Variant<48000, 4>, Variant<48000, 8>>
    Variants;
TYPED_TEST_SUITE(Stress, Variants, VariantName);

// Every message that carries a payload carries one of these.
void expect_only_payloads_from(const std::vector<std::string> &lines, const std::vector<std::string> &sent)
{
	for (const std::string &text : payloads(lines))
		EXPECT_NE(std::find(sent.begin(), sent.end(), text), sent.end()) << "false payload " << text;
}

TYPED_TEST(Stress, BackToBackBurstsNeedAGapOfTwoSymbols)
{
	typedef TypeParam V;
	Sound a = burst<V>("one"), b = burst<V>("two"), c = burst<V>("three"), d = burst<V>("four");
	// The receiver is replaced after every message and the new one starts
	// with an empty history, so without a gap it misses the preamble of the
	// burst after a received one and takes the burst after that.
	auto lines = receive<V>(this->quiet(1) + a + b + c + d + this->quiet(3));
	std::vector<std::string> alternate = {this->sync, message("one"), this->sync, message("three")};
	EXPECT_EQ(lines, alternate);
	// A message comes out about 1.9 E after its burst ends; 2.5 E of gap is enough
	// wherever the bursts fall in the receiver's periods.
	for (double lead : {0.0, 0.37, 0.71}) {
		Sound gap = this->quiet(2.5);
		lines = receive<V>(this->quiet(lead) + a + gap + b + gap + c + gap + d + this->quiet(3));
		std::vector<std::string> all = {this->sync, message("one"),   this->sync, message("two"),
		                                this->sync, message("three"), this->sync, message("four")};
		EXPECT_EQ(lines, all) << lead;
	}
}

TYPED_TEST(Stress, BurstCutOffInItsDataThenAWholeOne)
{
	typedef TypeParam V;
	Sound a = burst<V>("cut"), b = burst<V>("whole");
	// Cut in its first data symbol, midway and 1.5 E before its end: the
	// second preamble arrives while the receiver waits for data symbols of the
	// first, it starts over on the second burst, and the first one never
	// produces a message.
	double length = double(a.size()) / this->E;
	for (double cut : {2.5, length / 2, length - 1.5}) {
		Sound head(a.begin(), a.begin() + long(cut * this->E));
		auto lines = receive<V>(this->quiet(1) + head + b + this->quiet(3));
		std::vector<std::string> expected = {this->sync, this->sync, message("whole")};
		EXPECT_EQ(lines, expected) << cut;
	}
}

TYPED_TEST(Stress, BurstCutOffInItsPreambleThenAWholeOne)
{
	typedef TypeParam V;
	Sound a = burst<V>("cut"), b = burst<V>("whole");
	double length = double(a.size()) / this->E;
	// Cut after the synchronisation symbol or inside the metadata: the
	// preamble fails, or its metadata still decodes and the receiver waits
	// for data that never comes and reports a failed payload. Either way the
	// receiver is busy as long as with a whole burst, so the next one arrives
	// when it starts 2.5 E after the place where the cut burst would have ended.
	for (double cut : {1.0, 1.2, 1.5, 1.8}) {
		Sound head(a.begin(), a.begin() + long(cut * this->E));
		auto lines =
		    receive<V>(this->quiet(1) + head + this->quiet(length - cut + 2.5) + b + this->quiet(3));
		ASSERT_GE(lines.size(), 2u) << cut;
		std::vector<std::string> tail(lines.end() - 2, lines.end()),
		    head_lines(lines.begin(), lines.end() - 2);
		std::vector<std::string> whole = {this->sync, message("whole")};
		EXPECT_EQ(tail, whole) << cut;
		std::vector<std::string> failed = {"EVENT:PREAMBLE_FAIL"},
		                         no_payload = {this->sync, message("", -1)};
		EXPECT_TRUE(head_lines == failed || head_lines == no_payload)
		    << cut << ": " << testing::PrintToString(lines);
	}
}

TYPED_TEST(Stress, OverlappingBurstsAtDifferentFrequencies)
{
	typedef TypeParam V;
	// Carriers 200 to 1794 Hz and 2100 to 3694 Hz: apart, and inside both rates' bands.
	auto both = [this](double offset, double high_dbfs) {
		Sound low = burst<V>("low", 16, 1000), high = burst<V>("high", 16, 2900, high_dbfs);
		return receive<V>(
		    mix(this->quiet(1) + low + this->quiet(12), high, long((1 + offset) * this->E)));
	};
	// The receiver follows one burst at a time and a later preamble takes over.
	for (double offset : {1.5, 2.0, 3.0, 4.0}) {
		auto lines = both(offset, -18);
		ASSERT_EQ(lines.size(), 3u) << offset;
		EXPECT_EQ(lines[0], this->sync_at(1000));
		ASSERT_EQ(lines[1].rfind("EVENT:SYNC|CFO:", 0), 0u) << lines[1];
		EXPECT_NEAR(std::stod(lines[1].substr(15)), 2900, 0.25) << lines[1];
		EXPECT_EQ(lines[2], message("high"));
	}
	// A later one 12 dB weaker is not detected under the first one's data.
	for (double offset : {0.75, 1.0, 2.0}) {
		std::vector<std::string> first = {this->sync_at(1000), message("low")};
		EXPECT_EQ(both(offset, -30), first) << offset;
	}
	// Whatever the timing and levels, at most one message, and never a false one.
	for (double offset : {0.0, 0.25, 0.5, 0.75, 1.0}) {
		for (double level : {-30, -24, -18, -12, -6}) {
			auto lines = both(offset, level);
			expect_only_payloads_from(lines, {"low", "high"});
			EXPECT_LE(payloads(lines).size(), 1u) << offset << " " << level;
		}
	}
}

TYPED_TEST(Stress, ClippingAtFullScale)
{
	typedef TypeParam V;
	// Peaks lie about 14 dB above the RMS level: from -6 dBFS on, the peaks
	// are cut, and at +3 dBFS a third of the samples sit at full scale.
	for (double dbfs : {-6.0, -3.0, 0.0, 3.0}) {
		auto lines =
		    receive<V>(this->quiet(1) + burst<V>("clipped", 16, 1500, dbfs) + this->quiet(3));
		ASSERT_EQ(lines.size(), 2u) << dbfs;
		EXPECT_EQ(lines[0], this->sync);
		EXPECT_EQ(payloads(lines), std::vector<std::string>{"clipped"}) << dbfs << ": " << lines[1];
	}
}

TYPED_TEST(Stress, DcOffsetOfHalfScale)
{
	typedef TypeParam V;
	// The offset is there from the first sample on: a step at the start.
	for (double dc : {0.5, -0.5}) {
		Sound sound = this->quiet(1) + burst<V>("offset", 16, 1500, -24) + this->quiet(3);
		for (double &x : sound) x += dc;
		std::vector<std::string> expected = {this->sync, message("offset")};
		EXPECT_EQ(receive<V>(sound), expected) << dc;
	}
}

TYPED_TEST(Stress, LevelsFromMinus80DbfsToFullScale)
{
	typedef TypeParam V;
	// The synchronizer's energy floor (a mean analytic power of 1e-4 of full
	// scale over a symbol) keeps its metric finite in silence and hides every
	// burst below about -46 dBFS RMS: those pass without any event.
	for (double dbfs : {-80, -70, -60, -50, -48})
		EXPECT_EQ(
		    receive<V>(this->quiet(1) + burst<V>("level", 16, 1500, dbfs) + this->quiet(3)).size(),
		    0u)
		    << dbfs;
	for (double dbfs : {-45, -40, -30, -20, -10}) {
		std::vector<std::string> expected = {this->sync, message("level")};
		EXPECT_EQ(receive<V>(this->quiet(1) + burst<V>("level", 16, 1500, dbfs) + this->quiet(3)),
		          expected)
		    << dbfs;
	}
	// From -6 dBFS up the peaks are cut (see ClippingAtFullScale).
}

TYPED_TEST(Stress, BurstsAtTheBandEdges)
{
	typedef TypeParam V;
	// Carriers span centre - 800 Hz to centre + 793.75 Hz. Clean bursts come
	// through with their outer carriers 10 Hz from 0 Hz or from half the
	// sample rate; closer, the payload may fail, but never falsely.
	for (double margin : {10.0, 50.0, 200.0}) {
		for (double centre : {800 + margin, this->rate / 2 - 793.75 - margin}) {
			auto lines =
			    receive<V>(this->quiet(1) + burst<V>("edge", 16, centre) + this->quiet(3));
			ASSERT_EQ(lines.size(), 2u) << centre;
			EXPECT_EQ(payloads(lines), std::vector<std::string>{"edge"})
			    << centre << ": " << lines[1];
		}
	}
	for (double centre : {800.0, this->rate / 2 - 793.75}) {
		auto lines = receive<V>(this->quiet(1) + burst<V>("edge", 16, centre) + this->quiet(3));
		expect_only_payloads_from(lines, {"edge"});
	}
}

TYPED_TEST(Stress, StreamEndingInTheMiddleOfABurst)
{
	typedef TypeParam V;
	Sound sound = this->quiet(1) + burst<V>("end");
	long end = sound.size();
	sound = sound + this->quiet(3);
	// Up to the burst's end and 1.5 E beyond it, the input ends quietly with
	// at most the SYNC of the burst; the message needs about 2 E after the
	// burst (measured: 1.67 to 2.17 E, by the burst's place in the periods).
	for (long cut = this->E / 2; cut < end + 3 * this->E / 2; cut += this->E / 4) {
		auto lines = receive<V>(Sound(sound.begin(), sound.begin() + cut));
		EXPECT_LE(lines.size(), 1u) << cut;
		if (!lines.empty()) {
			EXPECT_EQ(lines[0], this->sync) << cut;
		}
	}
	std::vector<std::string> whole = {this->sync, message("end")};
	EXPECT_EQ(receive<V>(Sound(sound.begin(), sound.begin() + end + 5 * this->E / 2)), whole);
}

}
