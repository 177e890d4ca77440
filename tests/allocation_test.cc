#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "stream/make_decoder.hh"
#include "tests/air.hh"
#include "tests/replaced_new.hh"

// Every global allocation of the program passes through here and is counted.
static std::atomic<long> allocations{0};

static bool refuse_allocation(bool)
{
	++allocations;
	return false;
}

namespace {

template <typename V> class Allocation : public testing::Test
{
};

TYPED_TEST_SUITE(Allocation, AllVariants, VariantName);

TYPED_TEST(Allocation, OneReceiverIsOneAllocation)
{
	typedef TypeParam V;
	long before = allocations;
	DecoderInterface *decoder = make_decoder(V::rate, V::mapping);
	EXPECT_EQ(allocations - before, 1);
	ASSERT_NE(decoder, nullptr);
	EXPECT_EQ(decoder->rate(), V::rate);
	delete decoder;
	before = allocations;
	{
		StreamReceiver any(V::rate, any_mapping, 0);
		EXPECT_EQ(allocations - before, 3);
	}
}

// Streams a payload burst, a ping, a burst of an unknown mode, a preamble
// cut inside its metadata symbol (fails or ends in a failed payload) and a
// second payload burst through a stream built beforehand, drawing the
// spectrum after every period as waterfall does, and ends the input; nothing
// may be allocated, with either demodulator, for the variant's mapping or
// any.
template <typename V> void stream_without_allocation(Demodulator demodulator, int mapping)
{
	Sound gap = silence(0.6, V::rate);
	Sound cut = burst<V>("cut");
	cut.resize(long(1.2 * V::extended));
	std::vector<short> samples =
	    pcm(gap + burst<V>("first", 14) + gap + burst<V>("", 0, 1000) + gap + burst<V>("", 200, 2000) +
	        gap + cut + gap + gap + burst<V>("second", 15, 1200));

	struct Recorder final : StreamListener
	{
		Event events[16];
		int count = 0, periods = 0;
		unsigned plot[360 * 128], waterfall[360 * 128];
		void period(DecoderInterface &decoder) override
		{
			decoder.spectrum(plot, waterfall, 0xffffff);
			++periods;
		}
		void event(const Event &e) override
		{
			if (count < 16) events[count++] = e;
		}
	};
	auto recorder = std::make_unique<Recorder>();
	StreamReceiver stream(V::rate, mapping, 0, demodulator);

	long before = allocations;
	stream.feed(samples.data(), samples.size(), *recorder);
	stream.finish(*recorder);
	long during = allocations - before;

	EXPECT_EQ(during, 0);
	EXPECT_EQ(recorder->periods, int(samples.size() / V::extended));
	// Every kind of event came by: SYNC, MESSAGE, PING, NOPE, and for the
	// cut preamble a failure or a failed payload.
	const Event *events = recorder->events;
	int count = recorder->count;
	std::vector<int> kinds;
	for (int i = 0; i < count; ++i) kinds.push_back(events[i].kind);
	ASSERT_GE(count, 7) << testing::PrintToString(kinds);
	EXPECT_EQ(kinds[0], STATUS_SYNC);
	EXPECT_EQ(kinds[1], STATUS_DONE);
	EXPECT_EQ(std::string(reinterpret_cast<const char *>(events[1].payload)), "first");
	EXPECT_EQ(kinds[2], STATUS_PING);
	EXPECT_EQ(kinds[3], STATUS_NOPE);
	EXPECT_EQ(events[3].mode, 200);
	EXPECT_EQ(kinds[count - 2], STATUS_SYNC);
	EXPECT_EQ(kinds[count - 1], STATUS_DONE);
	EXPECT_EQ(events[count - 1].flips, 0);
	EXPECT_EQ(events[count - 1].mapping, V::mapping);
	EXPECT_EQ(std::string(reinterpret_cast<const char *>(events[count - 1].payload)), "second");
	std::vector<int> middle(kinds.begin() + 4, kinds.end() - 2);
	std::vector<int> failed = {STATUS_FAIL}, no_payload = {STATUS_SYNC, STATUS_DONE};
	EXPECT_TRUE(middle == failed || middle == no_payload) << testing::PrintToString(kinds);
}

TYPED_TEST(Allocation, NoneWhileStreaming)
{
	for (Demodulator demodulator : {Demodulator::reference, Demodulator::enhanced})
		for (int mapping : {TypeParam::mapping, any_mapping}) {
			SCOPED_TRACE(testing::Message() << int(demodulator) << " " << mapping);
			stream_without_allocation<TypeParam>(demodulator, mapping);
		}
}

}
