#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "tools/block_reader.hh"

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

// Bytes trickling in (values split across reads) or arriving many blocks at once come out as the same
// whole blocks in order; a tail that is not a whole block is dropped.
TEST(BlockReader, CutsAnyArrivalIntoWholeBlocksInOrder)
{
	short values[26];
	for (int i = 0; i < 26; ++i) values[i] = short(i * 2521 - 32768);
	std::string all(reinterpret_cast<const char *>(values), sizeof values);
	for (int piece : {1, 3, 5, 64}) {
		Pipe p;
		std::thread writer([&] {
			for (size_t i = 0; i < all.size(); i += piece) {
				p.write(all.substr(i, piece));
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
			}
			close(p.fd[1]);
		});
		BlockReader<short> reader(p.fd[0], 4, 3);
		int blocks = 0;
		for (; const short *block = reader.next(); ++blocks)
			for (int k = 0; k < 4; ++k)
				EXPECT_EQ(block[k], values[(4 * blocks + k) % 26]) << piece;
		EXPECT_EQ(blocks, 6) << piece;
		writer.join();
	}
}

TEST(BlockReader, RetriesAReadInterruptedBySignal)
{
	struct sigaction action = {}, old;
	action.sa_handler = [](int) {};
	sigemptyset(&action.sa_mask); // no SA_RESTART: the blocked read fails with EINTR
	ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
	Pipe p;
	pthread_t reader_thread = pthread_self();
	std::thread writer([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		pthread_kill(reader_thread, SIGUSR1);
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		p.write("12345678");
		close(p.fd[1]);
	});
	BlockReader<char> reader(p.fd[0], 8);
	const char *block = reader.next();
	EXPECT_EQ(block ? std::string(block, 8) : "(end)", "12345678");
	writer.join();
	sigaction(SIGUSR1, &old, nullptr);
}

TEST(BlockReader, ReadErrorEndsTheProgramWithItsReason)
{
	int dir = open("/", O_RDONLY);
	BlockReader<char> reader(dir, 2);
	EXPECT_EXIT(reader.next(), testing::ExitedWithCode(1), "Read error: Is a directory");
	close(dir);
}

}
