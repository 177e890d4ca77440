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
}

// Streams a payload burst, a ping, a burst of an unknown mode, a preamble
// cut inside its metadata symbol (fails or ends in a failed payload) and a
// second payload burst through receivers built beforehand, as the driver
// would use them, and reads every result; nothing may be allocated.
TYPED_TEST(Allocation, NoneWhileStreaming)
{
	typedef TypeParam V;
	Sound gap = silence(0.6, V::rate);
	Sound cut = burst<V>("cut");
	cut.resize(long(1.2 * V::extended));
	std::vector<short> samples =
	    pcm(gap + burst<V>("first", 14) + gap + burst<V>("", 0, 1000) + gap + burst<V>("", 200, 2000) +
	        gap + cut + gap + gap + burst<V>("second", 15, 1200) + gap + gap);
	std::vector<std::unique_ptr<DecoderInterface>> spares;
	for (int i = 0; i < 8; ++i) spares.push_back(std::make_unique<typename V::Rx>());
	std::vector<unsigned> plot(360 * 128), waterfall(360 * 128);

	struct Result
	{
		int status, mode, flips;
		unsigned char call[9], payload[170];
	};
	Result results[16] = {};
	int count = 0, used = 0, statuses = 0;
	DecoderInterface *decoder = spares[used++].get();

	long before = allocations;
	for (size_t i = 0; i + V::block <= samples.size(); i += V::block) {
		if (!decoder->feed(samples.data() + i, V::block, 0)) continue;
		int status = decoder->process();
		decoder->spectrum(plot.data(), waterfall.data(), 0xffffff);
		++statuses;
		if (status == STATUS_OKAY || count == 16) continue;
		Result &r = results[count++];
		r.status = status;
		float cfo;
		if (status == STATUS_SYNC || status == STATUS_PING || status == STATUS_NOPE)
			decoder->staged(&cfo, &r.mode, r.call);
		if (status == STATUS_DONE) r.flips = decoder->fetch(r.payload);
		if ((status == STATUS_FAIL || status == STATUS_DONE) && used < int(spares.size()))
			decoder = spares[used++].get();
	}
	long during = allocations - before;

	EXPECT_EQ(during, 0);
	EXPECT_EQ(statuses, int(samples.size() / V::extended));
	// Every kind of event came by: SYNC, MESSAGE, PING, NOPE, and for the
	// cut preamble a failure or a failed payload.
	std::vector<int> kinds;
	for (int i = 0; i < count; ++i) kinds.push_back(results[i].status);
	ASSERT_GE(count, 7) << testing::PrintToString(kinds);
	EXPECT_EQ(kinds[0], STATUS_SYNC);
	EXPECT_EQ(kinds[1], STATUS_DONE);
	EXPECT_EQ(std::string(reinterpret_cast<char *>(results[1].payload)), "first");
	EXPECT_EQ(kinds[2], STATUS_PING);
	EXPECT_EQ(kinds[3], STATUS_NOPE);
	EXPECT_EQ(results[3].mode, 200);
	EXPECT_EQ(kinds[count - 2], STATUS_SYNC);
	EXPECT_EQ(kinds[count - 1], STATUS_DONE);
	EXPECT_EQ(results[count - 1].flips, 0);
	EXPECT_EQ(std::string(reinterpret_cast<char *>(results[count - 1].payload)), "second");
	std::vector<int> middle(kinds.begin() + 4, kinds.end() - 2);
	std::vector<int> failed = {STATUS_FAIL}, no_payload = {STATUS_SYNC, STATUS_DONE};
	EXPECT_TRUE(middle == failed || middle == no_payload) << testing::PrintToString(kinds);
}

}
