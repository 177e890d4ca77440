#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tools/station/input_meter.hh"
#include "tools/station/ptt_switch.hh"
#include "tools/station/spsc_ring.hh"
#include "tools/station/station_json.hh"
#include "tools/station/transmission_check.hh"

namespace {

TEST(SpscRing, KeepsOrderAcrossTheWrapAndRefusesWhatDoesNotFit)
{
	SpscRing<int> ring(10);
	std::vector<int> out(10);
	int next = 0, expected = 0;
	for (int round = 0; round < 7; ++round) {
		std::vector<int> in = {next, next + 1, next + 2, next + 3};
		ASSERT_TRUE(ring.push(in.data(), 4));
		next += 4;
		ASSERT_EQ(ring.pop(out.data(), 3), 3u);
		for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], expected++);
	}
	// Seven values wait; four more do not fit, and none of them goes in.
	std::vector<int> more = {-1, -2, -3, -4};
	EXPECT_EQ(ring.held(), 7u);
	EXPECT_FALSE(ring.push(more.data(), 4));
	EXPECT_EQ(ring.held(), 7u);
	EXPECT_TRUE(ring.push(more.data(), 3));
	ASSERT_EQ(ring.pop(out.data(), 10), 10u);
	for (int i = 0; i < 7; ++i) EXPECT_EQ(out[i], expected++);
	EXPECT_EQ(out[7], -1);
	EXPECT_EQ(ring.pop(out.data(), 10), 0u);
}

// Two threads: every value arrives once and in order, whatever the timing.
TEST(SpscRing, CarriesACountBetweenTwoThreads)
{
	SpscRing<unsigned> ring(257);
	const unsigned total = 2000000;
	std::thread producer([&ring] {
		unsigned block[7];
		for (unsigned next = 0; next < total;) {
			unsigned count = std::min(7u, total - next);
			for (unsigned i = 0; i < count; ++i) block[i] = next + i;
			if (ring.push(block, count)) next += count;
		}
	});
	unsigned expected = 0, wrong = 0, buffer[64];
	while (expected < total) {
		size_t got = ring.pop(buffer, 64);
		for (size_t i = 0; i < got; ++i) wrong += buffer[i] != expected++;
	}
	producer.join();
	EXPECT_EQ(wrong, 0u);
	EXPECT_EQ(ring.held(), 0u);
}

TEST(SendLine, AcceptsWhatTheTransmitterCanSendAndNothingElse)
{
	for (auto [line, call, mode, payload] :
	     {std::tuple{"DL1ABC 16 hello there", "DL1ABC", 16, "hello there"},
	      {"n0call 14  two spaces", "n0call", 14, " two spaces"},
	      {"K1A ping", "K1A", 0, ""},
	      {"K1A 0", "K1A", 0, ""},
	      {"K1A 15 crlf\r", "K1A", 15, "crlf"}}) {
		Transmission t;
		EXPECT_EQ(parse_send_line(line, t), "") << line;
		EXPECT_EQ(t.call, call);
		EXPECT_EQ(t.mode, mode);
		EXPECT_EQ(t.payload, payload);
	}
	std::string longest16(85, 'x'), longest15(128, 'x'), longest14(170, 'x');
	for (auto [line, why] :
	     {std::tuple{std::string("DL1ABC"), "expected CALL MODE PAYLOAD"},
	      {"DL1ABC 17 x", "invalid mode \"17\""},
	      {"DL1ABC ping x", "a ping (mode 0) carries no payload"},
	      {"DL1ABC 15", "payload is empty"},
	      {"DL1ABC/P 16 x", "invalid call sign \"DL1ABC/P\""},
	      {"ABCDEFGHIJ 16 x", "invalid call sign"},
	      {"DL1ABC 16 " + longest16 + "y", "payload of 86 bytes is too long for mode 16 (at most 85)"},
	      {"DL1ABC 15 " + longest15 + "y", "payload of 129 bytes is too long for mode 15 (at most 128)"},
	      {"DL1ABC 14 " + longest14 + "y", "payload of 171 bytes is too long for mode 14 (at most 170)"}}) {
		Transmission t;
		EXPECT_NE(parse_send_line(line, t).find(why), std::string::npos) << line;
	}
	for (const std::string &payload : {longest16, longest15, longest14}) {
		Transmission t{"ABCDEFGHI", payload.size() == 85 ? 16 : payload.size() == 128 ? 15 : 14, payload, ""};
		EXPECT_EQ(transmission_error(t), "");
	}
	EXPECT_NE(transmission_error({std::string("AB\0C", 4), 16, "", ""}), "");
	EXPECT_NE(transmission_error({"   ", 16, "", ""}), "");
	EXPECT_NE(transmission_error({"AB", 16, std::string("a\0b", 3), ""}).find("zero byte"), std::string::npos);
}

// A message's object says which burst it ends: the call sign, offset and
// mode of its SYNC, beside its own payload and the mapping that decoded it.
// The other events name a mapping only when the station listens for one.
TEST(StationJson, MessageCarriesItsBurstsMetadata)
{
	Event sync;
	sync.kind = STATUS_SYNC, sync.cfo = 1512.5f, sync.mode = 15;
	std::copy_n("DL1ABC   ", 9, sync.call_sign);
	Event done;
	done.kind = STATUS_DONE, done.flips = 3, done.payload_size = 3, done.mapping = 8;
	std::copy_n("a\"<", 3, done.payload);
	for (int mapping : {any_mapping, 8})
		EXPECT_EQ(station_event_json(done, 2.5, "2026-01-02T03:04:05.678Z", mapping, sync),
			  "{\"kind\":\"MESSAGE\",\"time\":2.500,\"wall\":\"2026-01-02T03:04:05.678Z\",\"flips\":3,"
			  "\"mapping\":8,\"payload\":\"a\\\"<\",\"payload_hex\":\"61223c\",\"cfo\":1512.5,\"mode\":15,"
			  "\"call\":\"DL1ABC\"}");
	EXPECT_EQ(station_event_json(sync, 1, "", 2, sync),
		  "{\"kind\":\"SYNC\",\"time\":1.000,\"cfo\":1512.5,\"mode\":15,\"call\":\"DL1ABC\",\"mapping\":2}");
	EXPECT_EQ(station_event_json(sync, 1, "", any_mapping, sync),
		  "{\"kind\":\"SYNC\",\"time\":1.000,\"cfo\":1512.5,\"mode\":15,\"call\":\"DL1ABC\"}");
}

// A line whose release fails as often as asked, then works.
class FlakyLine final : public PttLine
{
public:
	explicit FlakyLine(int failures, std::vector<bool> &calls) : failures(failures), calls(calls) {}
	std::string set(bool keyed) override
	{
		calls.push_back(keyed);
		if (!keyed && failures > 0) return --failures, "no answer";
		return "";
	}
	std::string name() const override { return "flaky"; }

private:
	int failures;
	std::vector<bool> &calls;
};

TEST(PttSwitch, CountsAsKeyedUntilAReleaseWentThrough)
{
	std::vector<bool> calls;
	{
		PttSwitch ptt(std::make_unique<FlakyLine>(2, calls));
		EXPECT_TRUE(ptt.keyed()); // not known before the first release
		EXPECT_EQ(ptt.release(), "no answer");
		EXPECT_TRUE(ptt.keyed());
		EXPECT_EQ(ptt.settle(), "no answer");
		EXPECT_EQ(ptt.settle(), "");
		EXPECT_FALSE(ptt.keyed());
		EXPECT_EQ(ptt.settle(), ""); // nothing to do
		EXPECT_EQ(ptt.key(), "");
		EXPECT_TRUE(ptt.keyed());
		EXPECT_EQ(ptt.settle(), ""); // keyed on purpose: left alone
		EXPECT_TRUE(ptt.keyed());
	}
	// The destructor released what was keyed.
	EXPECT_EQ(calls, (std::vector<bool>{false, false, false, true, false}));
}

TEST(InputMeter, MeasuresLevelAndClipping)
{
	InputMeter meter;
	std::vector<short> sine(4800);
	for (size_t i = 0; i < sine.size(); ++i) sine[i] = short(std::lround(3276.8 * std::sin(i * 0.1)));
	meter.add(sine.data(), sine.size(), sine.size());
	meter.publish();
	EXPECT_NEAR(meter.level.load(), -23.0, 0.1); // a tenth of full scale, RMS 3 dB below its peak
	EXPECT_NEAR(meter.peak.load(), -20.0, 0.1);
	EXPECT_FALSE(meter.clipping.load());
	sine[100] = -32768, sine[200] = 32767;
	meter.add(sine.data(), sine.size(), sine.size());
	meter.publish();
	EXPECT_TRUE(meter.clipping.load());
	EXPECT_EQ(meter.clipped.load(), 2u);
	EXPECT_EQ(meter.frames.load(), 9600u);
}

}
