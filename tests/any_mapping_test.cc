#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/air.hh"

// A stream that listens for any mapping, over both rates, with the bursts of
// each variant as "ours". E is the extended symbol length (180 ms), one
// period; a burst is the synchronisation symbol, the metadata symbol and
// four data symbols (eight for mapping 2), one E each.

namespace {

typedef std::vector<std::string> Lines;

// What one stream reported: its lines, and each MESSAGE's mapping and frame.
struct Heard
{
	Lines lines;
	std::vector<int> mappings;
	std::vector<uint64_t> frames;
};

template <typename V> struct AnyMapping : testing::Test
{
	static constexpr int E = V::extended, ours = V::mapping;
	static Sound tx(int mapping, const std::string &text, double hz = 1500)
	{
		if (mapping == 2) return burst<Variant<V::rate, 2>>(text, 16, hz);
		if (mapping == 4) return burst<Variant<V::rate, 4>>(text, 16, hz);
		return burst<Variant<V::rate, 8>>(text, 16, hz);
	}
	static Sound quiet(double periods) { return Sound(long(periods * E), 0.0); }
	static Heard rx(const Sound &sound, int mapping = any_mapping)
	{
		Listener<V> listen(Demodulator::reference, mapping);
		std::vector<short> samples = pcm(sound);
		listen(samples.data(), samples.size());
		listen.finish();
		Heard heard{listen.lines(), {}, {}};
		for (const Event &e : listen.events()) {
			heard.frames.push_back(e.frame);
			if (e.kind == STATUS_DONE) heard.mappings.push_back(e.mapping);
		}
		return heard;
	}
	static std::string sync(int centre = 1500)
	{
		return "EVENT:SYNC|CFO:" + std::to_string(centre) + "|MODE:16|CALL:N0CALL   ";
	}
	static Lines got(const std::string &text, int centre = 1500) { return {sync(centre), message(text)}; }
	static Lines lost() { return {sync(), message("", -1)}; }
};

TYPED_TEST_SUITE(AnyMapping, AllVariants, VariantName);

// Bursts of the three mappings, then ours: each SYNC and MESSAGE comes once,
// each MESSAGE with the mapping that was sent.
TYPED_TEST(AnyMapping, EachBurstOnceWithItsMapping)
{
	auto gap = this->quiet(2);
	Heard heard = this->rx(this->quiet(1) + this->tx(2, "two") + gap + this->tx(4, "four") + gap +
			       this->tx(8, "eight") + gap + this->tx(this->ours, "ours") + gap);
	EXPECT_EQ(heard.lines, this->got("two") + this->got("four") + this->got("eight") + this->got("ours"));
	EXPECT_EQ(heard.mappings, (std::vector<int>{2, 4, 8, this->ours}));
}

// On bursts of one mapping, listening for any changes nothing, down to the
// frame of each event: the one receiver of that mapping speaks for all, and a
// receiver of a mapping given also names it.
TYPED_TEST(AnyMapping, BurstsOfOneMappingAsTheReceiverOfThatMappingHearsThem)
{
	Sound sound = this->quiet(1);
	for (double gap : {0.0, 0.1, 0.5, -1.0})
		sound = sound + this->tx(this->ours, "gap " + std::to_string(gap)) +
			(gap < 0 ? Sound() : silence(gap, TypeParam::rate));
	Heard any = this->rx(sound), one = this->rx(sound, this->ours);
	ASSERT_EQ(payloads(any.lines).size(), 4u);
	EXPECT_EQ(any.lines, one.lines);
	EXPECT_EQ(any.frames, one.frames);
	EXPECT_EQ(any.mappings, std::vector<int>(4, this->ours));
	EXPECT_EQ(one.mappings, any.mappings);
}

// A burst that no receiver decodes (cut after its metadata) ends in one
// failed MESSAGE, without a mapping, when the last receiver gives up: that of
// mapping 2, four periods after those of 4 and 8. A preamble while it waits
// ends it at once.
TYPED_TEST(AnyMapping, UndecodedBurstEndsInOneFailedMessage)
{
	Sound cut = this->tx(this->ours, "cut");
	cut.resize(2 * this->E);
	cut = this->quiet(1) + cut;
	Heard alone = this->rx(cut + this->quiet(12));
	EXPECT_EQ(alone.lines, this->lost());
	EXPECT_EQ(alone.mappings, std::vector<int>{0});
	EXPECT_EQ(alone.frames, this->rx(cut + this->quiet(12), 2).frames);
	std::vector<uint64_t> sooner = this->rx(cut + this->quiet(12), 4).frames;
	ASSERT_EQ(sooner.size(), 2u);
	EXPECT_EQ(alone.frames, (std::vector<uint64_t>{sooner[0], sooner[1] + 4 * this->E}));
	for (int next : {2, 4, 8}) {
		Heard heard = this->rx(this->quiet(1) + cut + this->tx(next, "next"));
		EXPECT_EQ(heard.lines, this->lost() + this->got("next")) << next;
		EXPECT_EQ(heard.mappings, (std::vector<int>{0, next})) << next;
	}
}

// Ours and a burst of every mapping back to back, at no gap and small ones:
// each once, in order, with its mapping.
TYPED_TEST(AnyMapping, BackToBackBurstsOfDifferentMappings)
{
	for (int other : {2, 4, 8})
		for (double gap : {0.0, 0.05, 0.35}) {
			Sound pause = silence(gap, TypeParam::rate);
			Heard heard = this->rx(this->quiet(0.3) + this->tx(this->ours, "first") + pause +
					       this->tx(other, "other") + pause + this->tx(this->ours, "last"));
			EXPECT_EQ(heard.lines, this->got("first") + this->got("other") + this->got("last"))
			    << other << " " << gap;
			EXPECT_EQ(heard.mappings, (std::vector<int>{this->ours, other, this->ours}))
			    << other << " " << gap;
		}
}

// The synchronisation symbol of another station anywhere in our burst, also
// after the receivers of shorter bursts have given it up: one PREAMBLE_FAIL,
// and the burst goes on.
TYPED_TEST(AnyMapping, ForeignPreambleDuringABurstIsReportedOnce)
{
	Sound ours = this->quiet(1) + this->tx(this->ours, "ours", 1000) + this->quiet(1),
	      theirs = this->tx(this->ours, "", 2900);
	theirs.resize(this->E);
	std::vector<double> times = {2.0, 3.0, 3.5};
	if (this->ours == 2) times = times + std::vector<double>{5.0, 6.0, 7.5};
	for (double at : times) {
		Heard heard = this->rx(mix(ours, theirs, long(at * this->E)));
		EXPECT_EQ(heard.lines, (Lines{this->sync(1000), "EVENT:PREAMBLE_FAIL", message("ours")})) << at;
		EXPECT_EQ(heard.mappings, std::vector<int>{this->ours}) << at;
	}
}

// The input ends inside ours (a failed MESSAGE) or with its last sample
// (decoded): finish() flushes either out, once.
TYPED_TEST(AnyMapping, EndOfInputInsideABurst)
{
	Sound whole = this->tx(this->ours, "end"), cut(whole.begin(), whole.begin() + long(whole.size()) / 2);
	EXPECT_EQ(this->rx(this->quiet(1) + cut).lines, this->lost());
	Heard heard = this->rx(this->quiet(1) + whole);
	EXPECT_EQ(heard.lines, this->got("end"));
	EXPECT_EQ(heard.mappings, std::vector<int>{this->ours});
}

// Bursts of random mappings at random offsets, overlapping or not, and
// levels: every SYNC has exactly one MESSAGE before the next SYNC and the
// end, and every payload is one that was sent, with the mapping it was sent
// with.
TYPED_TEST(AnyMapping, RandomMixesKeepOneMessagePerSync)
{
	std::mt19937 random(TypeParam::rate + this->ours);
	int decoded = 0;
	for (int round = 0; round < 4; ++round) {
		Sound sound = this->quiet(1);
		std::vector<std::pair<std::string, int>> sent;
		long at = this->E;
		for (int n = 0; n < 6; ++n) {
			int mapping = 2 << random() % 3;
			std::string text = "burst " + std::to_string(n);
			Sound b = this->tx(mapping, text, 800 + random() % 1600);
			for (double &v : b) v *= std::pow(10.0, -double(random() % 20) / 20);
			sound = mix(sound, b, at);
			sent.push_back({text, mapping});
			at += long(b.size()) * (1 + random() % 3) / 2 + long(random() % this->E);
		}
		Heard heard = this->rx(sound);
		bool synced = false;
		size_t message = 0;
		for (const std::string &line : heard.lines) {
			bool sync = line.rfind("EVENT:SYNC|", 0) == 0, done = line.rfind("EVENT:MESSAGE|", 0) == 0;
			EXPECT_FALSE(sync && synced) << round;
			EXPECT_FALSE(done && !synced) << round;
			if (sync || done) synced = sync;
			if (!done) continue;
			std::vector<std::string> text = payloads({line});
			int mapping = heard.mappings[message++];
			if (text.empty()) {
				EXPECT_EQ(mapping, 0);
				continue;
			}
			auto it = std::find_if(sent.begin(), sent.end(),
					       [&](auto &s) { return s.first == text[0]; });
			ASSERT_NE(it, sent.end()) << "false payload " << text[0];
			EXPECT_EQ(mapping, it->second) << text[0];
			++decoded;
		}
		EXPECT_FALSE(synced) << round;
	}
	EXPECT_GE(decoded, 8);
}

}
