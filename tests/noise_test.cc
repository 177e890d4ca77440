#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "testing/noise_signals.hh"
#include "tests/air.hh"

// Minutes of every test signal through each variant, in process with decode_stream's loop
// (bench/noise_runs.sh runs hours of it).

namespace {

template <typename V> struct Noise : testing::Test
{
	static constexpr double minutes = V::rate == 8000 ? 6 : 2;

	// Event lines counted by kind (the line up to its first "|"), "MESSAGE-1" for failed payloads.
	static std::map<std::string, int> listen(const std::string &name)
	{
		NoiseSignal signal(name, V::rate, 7);
		EXPECT_TRUE(signal.valid()) << name;
		Listener<V> listener;
		short block[4096];
		for (long left = long(minutes * 60 * V::rate), count; left > 0; left -= count) {
			signal.generate(block, count = std::min(left, 4096L));
			listener(block, count);
		}
		listener.finish();
		std::map<std::string, int> kinds;
		for (const std::string &line : listener.lines()) {
			std::string kind = line.substr(0, line.find('|'));
			++kinds[line.rfind("EVENT:MESSAGE|FLIPS:-1|PAYLOAD:", 0) == 0 ? kind + "-1" : kind];
		}
		return kinds;
	}
};

TYPED_TEST_SUITE(Noise, AllVariants, VariantName);

// Noise, tones, speech, offsets and bursts of the other rate give at most rejected preambles; true
// synchronisation symbols before random words in place of the metadata are every one detected and fail.
TYPED_TEST(Noise, OnlyRejectedPreambles)
{
	typedef TypeParam V;
	std::map<std::string, int> least_fails = {
	    {"bursts-" + std::to_string(V::rate == 8000 ? 48000 : 8000) + "-" + std::to_string(V::mapping),
	     0},
	    {"preambles-" + std::to_string(V::rate) + "-2", int(this->minutes * 60 / 3)}};
	for (const std::string &name : noise_signal_names()) least_fails[name] = 0;
	for (auto [name, fails] : least_fails) {
		auto kinds = this->listen(name);
		EXPECT_GE(kinds["EVENT:PREAMBLE_FAIL"], fails) << name;
		kinds.erase("EVENT:PREAMBLE_FAIL");
		EXPECT_TRUE(kinds.empty()) << name << ": " << testing::PrintToString(kinds);
	}
}

// Synchronisation and metadata symbols are the same for every mapping, so SYNC is right and the payload of
// another mapping must fail its check. A mapping-2 receiver waits for eight data symbols where the others
// send four, so the next burst's SYNC may start it over: the burst it gave up ends in a failed message.
TYPED_TEST(Noise, BurstsOfTheOtherMappingsSynchronizeButCarryNoPayload)
{
	typedef TypeParam V;
	for (int mapping : {2, 4, 8}) {
		std::string name = "bursts-" + std::to_string(V::rate) + "-" + std::to_string(mapping);
		auto kinds = this->listen(name);
		bool own = mapping == V::mapping;
		int syncs = kinds["EVENT:SYNC"], good = kinds["EVENT:MESSAGE"], failed = kinds["EVENT:MESSAGE-1"];
		EXPECT_GT(syncs, 20) << name;
		EXPECT_EQ(good + failed, syncs) << name;
		EXPECT_GE(own ? good : failed, own ? syncs - 1 : syncs) << name;
		kinds.erase("EVENT:MESSAGE");
		kinds.erase("EVENT:MESSAGE-1");
		kinds.erase("EVENT:SYNC");
		for (auto [kind, count] : kinds) EXPECT_EQ(count, 0) << name << ": " << kind;
	}
}

}
