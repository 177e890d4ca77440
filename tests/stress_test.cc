#include <numbers>
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

// Bursts 0 to 0.35 s apart, the first one block and a bit into the input, the last one ending with it: every
// one arrives once, in order. The receiver forgets a burst after its message but not what it heard, where the
// next preamble may already lie, and the end of the input flushes the last one out.
TYPED_TEST(Stress, BurstsBackToBackUpToTheLastSample)
{
	Sound sound(TypeParam::block + 7, 0.0);
	Lines expected;
	int n = 0;
	for (double gap : {0.0, 0.05, 0.1, 0.2, 0.35, -1.0}) {
		std::string text = "burst " + std::to_string(n++);
		sound = sound + this->tx(text.c_str()) + (gap < 0 ? Sound() : silence(gap, TypeParam::rate));
		expected = expected + this->got(text.c_str());
	}
	EXPECT_EQ(this->rx(sound), expected);
}

// Cut after its synchronisation symbol (the metadata is gone: the preamble fails), after its metadata and in
// the middle of its data (SYNC, then a failed message), at the end of the input and followed at once by a whole
// burst.
TYPED_TEST(Stress, CutBurstsEndInAFailedMessage)
{
	Sound a = this->tx("cut"), b = this->tx("whole");
	Lines failed = {"EVENT:PREAMBLE_FAIL"}, lost = {this->sync(), message("", -1)};
	for (auto [cut, head] : {std::pair{1.0, failed}, {2.0, lost}, {a.size() / 2.0 / this->E + 1, lost}}) {
		Sound part = this->quiet(1) + Sound(a.begin(), a.begin() + long(cut * this->E));
		EXPECT_EQ(this->rx(part), head) << cut;
		EXPECT_EQ(this->rx(part + b), head + this->got("whole")) << cut;
	}
}

// The synchronisation symbol of another station during a burst: the preamble fails, the burst goes on.
TYPED_TEST(Stress, ForeignPreambleLeavesTheBurstWhole)
{
	Sound ours = this->quiet(1) + this->tx("ours", 1000) + this->quiet(1), theirs = this->tx("", 2900);
	theirs.resize(this->E);
	for (double at : {3.0, 3.3, 3.7})
		EXPECT_EQ(this->rx(mix(ours, theirs, long(at * this->E))),
			  (Lines{this->sync(1000), "EVENT:PREAMBLE_FAIL", message("ours")}))
		    << at;
}

// A tone on one carrier, 12 to 32 dB below a clean burst: the soft values leave the list decoder room to
// tell the spoiled carrier from the sound ones.
TYPED_TEST(Stress, CleanBurstsUnderASingleTone)
{
	Sound clean = this->quiet(1) + this->tx("tone") + this->quiet(1);
	for (double hz : {1000.0, 1500.0})
		for (double dbfs : {-30, -36, -40, -45, -50}) {
			Sound sound = clean;
			double amplitude = std::sqrt(2.0) * std::pow(10.0, dbfs / 20), step = 2 * std::numbers::pi * hz / TypeParam::rate;
			for (size_t n = 0; n < sound.size(); ++n) sound[n] += amplitude * std::sin(step * n);
			SCOPED_TRACE(testing::Message() << hz << " Hz, " << dbfs << " dBFS");
			Lines lines = this->rx(sound);
			expect_payload(lines, "tone", dbfs);
			EXPECT_EQ(lines.empty() ? "" : lines[0], this->sync());
		}
}

// A transmitter stuck on one symbol after a valid preamble: every data symbol repeats the metadata symbol, and
// the information word may come out all zero, which passes its CRC (it starts from zero). And the all-zero word
// itself, sent as the payload that whitening turns into it. No message either way.
TYPED_TEST(Stress, RepeatedSymbolsAreNoMessage)
{
	const long E = this->E;
	Sound b = this->tx("stuck");
	for (long s = 2 * E; s < long(b.size()); s += E) std::copy(b.begin() + E, b.begin() + 2 * E, b.begin() + s);
	Lines none = {this->sync(), message("", -1)};
	EXPECT_EQ(this->alone(b), none);
	std::string whitening(85, 0);
	Xorshift32 next;
	for (char &c : whitening) c = char(next());
	EXPECT_EQ(this->alone(burst<TypeParam>(whitening)), none);
}

// Carriers 200 to 1794 Hz and 2100 to 3694 Hz: apart, and inside both rates' bands. The receiver follows one
// burst at a time and a later preamble takes over (the first ends in a failed message); a later one 12 dB
// weaker is not detected under the first one's data; whatever the timing and levels, at most one message,
// and never a false one.
TYPED_TEST(Stress, OverlappingBurstsAtDifferentFrequencies)
{
	auto both = [this](double offset, double high_dbfs) {
		Sound low = this->tx("low", 1000), high = this->tx("high", 2900, high_dbfs);
		return this->rx(
		    mix(this->quiet(1) + low + this->quiet(12), high, long((1 + offset) * this->E)));
	};
	for (double offset : {1.5, 2.0, 3.0, 4.0}) {
		Lines lines = both(offset, -18);
		ASSERT_EQ(lines.size(), 4u) << offset;
		EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2), (Lines{this->sync(1000), message("", -1)}));
		ASSERT_EQ(lines[2].rfind("EVENT:SYNC|CFO:", 0), 0u) << lines[2];
		EXPECT_NEAR(std::stod(lines[2].substr(15)), 2900, 0.25) << lines[2];
		EXPECT_EQ(lines[3], message("high"));
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

}
