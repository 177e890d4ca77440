#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "bench/noise_signals.hh"
#include "tests/air.hh"

// A short listening run (bench/noise_runs.sh runs hours of it): a few
// minutes of every test signal through each variant, in process with
// decode_stream's loop, streamed without being stored.

namespace {

template <typename V> class Noise : public testing::Test
{
      protected:
	// Minutes of every signal; the 8000-Hz receivers are six times cheaper.
	static constexpr double minutes = V::rate == 8000 ? 6 : 2;

	// Event lines of the signal, counted by kind: the line up to its first
	// "|", and "MESSAGE-1" for messages without a payload.
	static std::map<std::string, int> listen(const std::string &name)
	{
		NoiseSignal signal(name, V::rate, 7);
		EXPECT_TRUE(signal.valid()) << name;
		Listener<V> listener;
		short block[4096];
		for (long left = long(minutes * 60 * V::rate); left > 0; left -= 4096) {
			int count = left < 4096 ? int(left) : 4096;
			signal.generate(block, count);
			listener(block, count);
		}
		std::map<std::string, int> kinds;
		for (const std::string &line : listener.lines()) {
			std::string kind = line.substr(0, line.find('|'));
			++kinds[line.rfind("EVENT:MESSAGE|FLIPS:-1|PAYLOAD:", 0) == 0 ? kind + "-1" : kind];
		}
		return kinds;
	}
};

typedef testing::Types<Variant<8000, 2>, Variant<8000, 4>, Variant<8000, 8>, Variant<48000, 2>,
                       Variant<48000, 4>, Variant<48000, 8>>
    Variants;
TYPED_TEST_SUITE(Noise, Variants, VariantName);

TYPED_TEST(Noise, NoiseTonesSpeechAndOffsetsGiveNoEvent)
{
	// At most a rejected preamble; nothing accepted.
	for (const std::string &name : noise_signal_names()) {
		auto kinds = this->listen(name);
		kinds.erase("EVENT:PREAMBLE_FAIL");
		EXPECT_TRUE(kinds.empty()) << name << ": " << testing::PrintToString(kinds);
	}
}

TYPED_TEST(Noise, BurstsOfTheOtherRateGiveNoEvent)
{
	typedef TypeParam V;
	std::string name =
	    "bursts-" + std::to_string(V::rate == 8000 ? 48000 : 8000) + "-" + std::to_string(V::mapping);
	auto kinds = this->listen(name);
	kinds.erase("EVENT:PREAMBLE_FAIL");
	EXPECT_TRUE(kinds.empty()) << name << ": " << testing::PrintToString(kinds);
}

TYPED_TEST(Noise, FalsePreamblesAreRejected)
{
	typedef TypeParam V;
	// True synchronisation symbols before random words in place of the
	// metadata: every one is detected and fails; nothing passes.
	std::string name = "preambles-" + std::to_string(V::rate) + "-2";
	auto kinds = this->listen(name);
	EXPECT_GE(kinds["EVENT:PREAMBLE_FAIL"], int(this->minutes * 60 / 3)) << name;
	kinds.erase("EVENT:PREAMBLE_FAIL");
	EXPECT_TRUE(kinds.empty()) << name << ": " << testing::PrintToString(kinds);
}

TYPED_TEST(Noise, BurstsOfTheOtherMappingsSynchronizeButCarryNoPayload)
{
	typedef TypeParam V;
	// Synchronisation and metadata symbols are the same for every mapping, so
	// SYNC is right; the payload must then fail its check. A mapping-2
	// receiver waits for eight data symbols where the others send four, so
	// the next burst's SYNC may start it over before it reports.
	for (int mapping : {2, 4, 8}) {
		std::string name = "bursts-" + std::to_string(V::rate) + "-" + std::to_string(mapping);
		auto kinds = this->listen(name);
		int syncs = kinds["EVENT:SYNC"];
		if (mapping == V::mapping) {
			EXPECT_GT(syncs, 20) << name;
			// The run may end inside the last burst.
			EXPECT_GE(kinds["EVENT:MESSAGE"], syncs - 1) << name;
			EXPECT_LE(kinds["EVENT:MESSAGE"], syncs) << name;
			kinds.erase("EVENT:MESSAGE");
		} else {
			EXPECT_GT(syncs, 20) << name;
			EXPECT_LE(kinds["EVENT:MESSAGE-1"], syncs) << name;
			EXPECT_GE(kinds["EVENT:MESSAGE-1"], syncs / 2) << name;
			kinds.erase("EVENT:MESSAGE-1");
		}
		kinds.erase("EVENT:SYNC");
		for (auto [kind, count] : kinds) EXPECT_EQ(count, 0) << name << ": " << kind;
	}
}

}
