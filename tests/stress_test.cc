#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/air.hh"

// Hard conditions for the receiver over the six variants, in process with decode_stream's loop. E is the
// extended symbol length (180 ms); a burst is the synchronisation symbol, the metadata symbol and four data
// symbols (eight for mapping 2), one E each.

namespace {

typedef std::vector<std::string> Lines;

template <typename V> struct Stress : testing::Test
{
	static constexpr int E = V::extended;
	static Sound quiet(double extended_lengths) { return Sound(long(extended_lengths * E), 0.0); }
	static Sound tx(const char *s, double hz = 1500, double dbfs = -18)
	{
		return burst<V>(s, 16, hz, dbfs);
	}
	static Lines rx(const Sound &sound) { return receive<V>(sound); }
	// One burst with one E of silence before it and three after.
	static Lines alone(const Sound &burst) { return rx(quiet(1) + burst + quiet(3)); }
	static std::string sync(int centre = 1500)
	{
		return "EVENT:SYNC|CFO:" + std::to_string(centre) + "|MODE:16|CALL:N0CALL   ";
	}
	static Lines got(const char *text, int centre = 1500) { return {sync(centre), message(text)}; }
};

TYPED_TEST_SUITE(Stress, AllVariants, VariantName);

// Every message that carries a payload carries one of these.
void expect_only_payloads_from(const Lines &lines, const Lines &sent)
{
	for (const std::string &text : payloads(lines))
		EXPECT_NE(std::find(sent.begin(), sent.end(), text), sent.end()) << "false payload " << text;
}

// Two lines, one of them a message of the text with any number of flips.
void expect_payload(const Lines &lines, const char *text, double context)
{
	ASSERT_EQ(lines.size(), 2u) << context;
	EXPECT_EQ(payloads(lines), Lines{text}) << context << ": " << lines[1];
}

// The receiver is replaced after every message and the new one starts with an empty history, so without a gap
// it misses the preamble of the burst after a received one. A message comes out about 1.9 E after its burst
// ends; 2.5 E of gap is enough wherever the bursts fall in the receiver's periods.
TYPED_TEST(Stress, BackToBackBurstsNeedAGapOfTwoSymbols)
{
	Sound a = this->tx("one"), b = this->tx("two"), c = this->tx("three"), d = this->tx("four"),
	      gap = this->quiet(2.5);
	Lines alternate = this->got("one") + this->got("three");
	EXPECT_EQ(this->rx(this->quiet(1) + a + b + c + d + this->quiet(3)), alternate);
	for (double lead : {0.0, 0.37, 0.71}) {
		Lines all = this->got("one") + this->got("two") + this->got("three") + this->got("four");
		EXPECT_EQ(this->rx(this->quiet(lead) + a + gap + b + gap + c + gap + d + this->quiet(3)), all)
		    << lead;
	}
}

// Cut in its data (first data symbol, midway, 1.5 E before its end) and followed at once: the second preamble
// arrives while the receiver waits for data of the first, it starts over, and the first never produces a
// message. Cut after the synchronisation symbol or inside the metadata: the preamble fails, or its metadata
// still decodes and the receiver waits for data that never comes and reports a failed payload; either way it
// is busy as long as with a whole burst, so it takes a burst 2.5 E after the place where the cut one would
// have ended.
TYPED_TEST(Stress, BurstCutOffThenAWholeOne)
{
	Sound a = this->tx("cut"), b = this->tx("whole");
	double length = double(a.size()) / this->E;
	auto cut_then_whole = [&](double cut, double gap) {
		Sound head(a.begin(), a.begin() + long(cut * this->E));
		return this->rx(this->quiet(1) + head + this->quiet(gap) + b + this->quiet(3));
	};
	for (double cut : {2.5, length / 2, length - 1.5})
		EXPECT_EQ(cut_then_whole(cut, 0), Lines{this->sync()} + this->got("whole")) << cut;
	Lines failed = {"EVENT:PREAMBLE_FAIL"}, no_payload = {this->sync(), message("", -1)};
	for (double cut : {1.0, 1.2, 1.5, 1.8}) {
		Lines lines = cut_then_whole(cut, length - cut + 2.5);
		ASSERT_GE(lines.size(), 2u) << cut;
		EXPECT_EQ(Lines(lines.end() - 2, lines.end()), this->got("whole")) << cut;
		Lines head(lines.begin(), lines.end() - 2);
		EXPECT_TRUE(head == failed || head == no_payload)
		    << cut << ": " << testing::PrintToString(lines);
	}
}

// Carriers 200 to 1794 Hz and 2100 to 3694 Hz: apart, and inside both rates' bands. The receiver follows one
// burst at a time and a later preamble takes over; a later one 12 dB weaker is not detected under the first
// one's data; whatever the timing and levels, at most one message, and never a false one.
TYPED_TEST(Stress, OverlappingBurstsAtDifferentFrequencies)
{
	auto both = [this](double offset, double high_dbfs) {
		Sound low = this->tx("low", 1000), high = this->tx("high", 2900, high_dbfs);
		return this->rx(
		    mix(this->quiet(1) + low + this->quiet(12), high, long((1 + offset) * this->E)));
	};
	for (double offset : {1.5, 2.0, 3.0, 4.0}) {
		Lines lines = both(offset, -18);
		ASSERT_EQ(lines.size(), 3u) << offset;
		EXPECT_EQ(lines[0], this->sync(1000));
		ASSERT_EQ(lines[1].rfind("EVENT:SYNC|CFO:", 0), 0u) << lines[1];
		EXPECT_NEAR(std::stod(lines[1].substr(15)), 2900, 0.25) << lines[1];
		EXPECT_EQ(lines[2], message("high"));
	}
	for (double offset : {0.75, 1.0, 2.0}) EXPECT_EQ(both(offset, -30), this->got("low", 1000)) << offset;
	for (double offset : {0.0, 0.25, 0.5, 0.75, 1.0})
		for (double level : {-30, -24, -18, -12, -6}) {
			Lines lines = both(offset, level);
			expect_only_payloads_from(lines, {"low", "high"});
			EXPECT_LE(payloads(lines).size(), 1u) << offset << " " << level;
		}
}

// The synchronizer's energy floor (a mean analytic power of 1e-4 of full scale over a symbol) keeps its
// metric finite in silence and hides every burst below about -46 dBFS RMS: those pass without any event.
// Peaks lie about 14 dB above the RMS level: from -6 dBFS on they are cut, at +3 dBFS a third of the samples
// sit at full scale, and the payload still comes through. A DC offset of half scale is there from the first
// sample on: a step at the start.
TYPED_TEST(Stress, LevelsFromMinus80DbfsToBeyondFullScaleAndOffsets)
{
	for (double dbfs : {-80, -70, -60, -50, -48})
		EXPECT_EQ(this->alone(this->tx("level", 1500, dbfs)), Lines{}) << dbfs;
	for (double dbfs : {-45, -40, -30, -20, -10})
		EXPECT_EQ(this->alone(this->tx("level", 1500, dbfs)), this->got("level")) << dbfs;
	for (double dbfs : {-6.0, -3.0, 0.0, 3.0}) {
		Lines lines = this->alone(this->tx("clipped", 1500, dbfs));
		expect_payload(lines, "clipped", dbfs);
		EXPECT_EQ(lines.empty() ? "" : lines[0], this->sync()) << dbfs;
	}
	for (double dc : {0.5, -0.5}) {
		Sound sound = this->quiet(1) + this->tx("offset", 1500, -24) + this->quiet(3);
		for (double &x : sound) x += dc;
		EXPECT_EQ(this->rx(sound), this->got("offset")) << dc;
	}
}

// Carriers span centre - 800 Hz to centre + 793.75 Hz. Clean bursts come through with their outer carriers 10
// Hz from 0 Hz or from half the sample rate; closer, the payload may fail, but never falsely.
TYPED_TEST(Stress, BurstsAtTheBandEdges)
{
	double top = TypeParam::rate / 2 - 793.75;
	for (double margin : {10.0, 50.0, 200.0})
		for (double centre : {800 + margin, top - margin})
			expect_payload(this->alone(this->tx("edge", centre)), "edge", centre);
	for (double centre : {800.0, top})
		expect_only_payloads_from(this->alone(this->tx("edge", centre)), {"edge"});
}

// Up to the burst's end and 1.5 E beyond it, the input ends quietly with at most the SYNC of the burst; the
// message needs about 2 E after the burst (measured: 1.67 to 2.17 E, by its place in the periods).
TYPED_TEST(Stress, StreamEndingInTheMiddleOfABurst)
{
	Sound sound = this->quiet(1) + this->tx("end");
	long end = sound.size();
	sound = sound + this->quiet(3);
	for (long cut = this->E / 2; cut < end + 3 * this->E / 2; cut += this->E / 4) {
		Lines lines = this->rx(Sound(sound.begin(), sound.begin() + cut));
		EXPECT_TRUE(lines.empty() || lines == Lines{this->sync()})
		    << cut << ": " << testing::PrintToString(lines);
	}
	EXPECT_EQ(this->rx(Sound(sound.begin(), sound.begin() + end + 5 * this->E / 2)), this->got("end"));
}

}
