#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>

#include "tools/io/block_reader.hh"

namespace {

struct Pipe
{
	int fd[2];
	Pipe() { EXPECT_EQ(pipe(fd), 0); }
	~Pipe() { close(fd[0]); }
	void write(const std::string &bytes)
	{
		EXPECT_EQ(::write(fd[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
	}
};

// Bytes taken before, bytes trickling in one by one and arriving many
// blocks at once all come out as the same whole blocks in order; the tail
// that is not a whole block is dropped.
TEST(BlockReader, CutsAnyArrivalIntoWholeBlocksInOrder)
{
	for (int piece : {1, 3, 5, 64}) {
		Pipe p;
		std::string all = "cdefghijklmnopqrstuvwxyz";
		std::thread writer([&] {
			for (size_t i = 0; i < all.size(); i += piece) {
				p.write(all.substr(i, piece));
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
			}
			close(p.fd[1]);
		});
		BlockReader<short> reader(p.fd[0], "pipe", 2, "ab", 3);
		std::string got;
		while (const short *block = reader.next())
			got += std::string(reinterpret_cast<const char *>(block), 4) + "|";
		EXPECT_EQ(got, "abcd|efgh|ijkl|mnop|qrst|uvwx|") << piece;
		writer.join();
	}
}

}
