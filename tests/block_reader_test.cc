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
	~Pipe()
	{
		close(fd[0]);
		if (fd[1] >= 0) close(fd[1]);
	}
	void write(const std::string &bytes)
	{
		EXPECT_EQ(::write(fd[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
	}
	void close_writer() { close(fd[1]), fd[1] = -1; }
};

std::string text(const char *block, int size) { return block ? std::string(block, size) : "(end)"; }

// Bytes trickling in one by one and arriving many blocks at once both come
// out as the same whole blocks in order; the tail that is not a whole block
// is dropped.
TEST(BlockReader, CutsAnyArrivalIntoWholeBlocksInOrder)
{
	for (int piece : {1, 3, 5, 64}) {
		Pipe p;
		std::string all = "abcdefghijklmnopqrstuvwxyz";
		std::thread writer([&] {
			for (size_t i = 0; i < all.size(); i += piece) {
				p.write(all.substr(i, piece));
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
			}
			p.close_writer();
		});
		BlockReader<char> reader(p.fd[0], 4, 3);
		std::string got;
		while (const char *block = reader.next()) got += text(block, 4) + "|";
		EXPECT_EQ(got, "abcd|efgh|ijkl|mnop|qrst|uvwx|") << piece;
		writer.join();
	}
}

// Values wider than a byte may arrive split across reads.
TEST(BlockReader, ReassemblesValuesSplitAcrossReads)
{
	Pipe p;
	short values[] = {1, -2, 300, -32768};
	std::string bytes(reinterpret_cast<const char *>(values), sizeof values);
	std::thread writer([&] {
		p.write(bytes.substr(0, 3));
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
		p.write(bytes.substr(3));
		p.close_writer();
	});
	BlockReader<short> reader(p.fd[0], 2);
	const short *block = reader.next();
	ASSERT_NE(block, nullptr);
	EXPECT_EQ(block[0], 1);
	EXPECT_EQ(block[1], -2);
	block = reader.next();
	ASSERT_NE(block, nullptr);
	EXPECT_EQ(block[0], 300);
	EXPECT_EQ(block[1], -32768);
	EXPECT_EQ(reader.next(), nullptr);
	writer.join();
}

TEST(BlockReader, RetriesAReadInterruptedBySignal)
{
	struct sigaction action = {};
	action.sa_handler = [](int) {};
	sigemptyset(&action.sa_mask);
	action.sa_flags = 0; // no SA_RESTART: the blocked read fails with EINTR
	struct sigaction old;
	ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
	Pipe p;
	pthread_t reader_thread = pthread_self();
	std::thread writer([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		pthread_kill(reader_thread, SIGUSR1);
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		p.write("12345678");
	});
	BlockReader<char> reader(p.fd[0], 8);
	EXPECT_EQ(text(reader.next(), 8), "12345678");
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
