#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "tools/read_block.hh"

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
	void write(const std::string &bytes) { EXPECT_EQ(::write(fd[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }
	void close_writer() { close(fd[1]), fd[1] = -1; }
};

TEST(ReadBlock, GathersBytesArrivingOneAtATime)
{
	Pipe p;
	std::thread writer([&] {
		for (char c : std::string("abcdefg")) {
			p.write(std::string(1, c));
			std::this_thread::sleep_for(std::chrono::milliseconds(2));
		}
		p.close_writer();
	});
	char block[4];
	EXPECT_TRUE(read_block(p.fd[0], block, 4));
	EXPECT_EQ(std::string(block, 4), "abcd");
	// The last three bytes are not a whole block.
	EXPECT_FALSE(read_block(p.fd[0], block, 4));
	writer.join();
}

TEST(ReadBlock, RetriesAReadInterruptedBySignal)
{
	struct sigaction action = {};
	action.sa_handler = [](int) {};
	sigemptyset(&action.sa_mask);
	action.sa_flags = 0; // no SA_RESTART: the blocked read fails with EINTR
	struct sigaction old;
	ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
	Pipe p;
	pthread_t reader = pthread_self();
	std::thread writer([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		pthread_kill(reader, SIGUSR1);
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		p.write("12345678");
	});
	char block[8];
	EXPECT_TRUE(read_block(p.fd[0], block, 8));
	EXPECT_EQ(std::string(block, 8), "12345678");
	writer.join();
	sigaction(SIGUSR1, &old, nullptr);
}

TEST(ReadBlock, ReadErrorEndsTheProgramWithItsReason)
{
	int dir = open("/", O_RDONLY);
	char block[2];
	EXPECT_EXIT(read_block(dir, block, 2), testing::ExitedWithCode(1), "Read error: Is a directory");
	close(dir);
}

}
