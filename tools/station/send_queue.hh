#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

// A burst the operator asked for: from the page, POST /send or the send FIFO.
struct Transmission
{
	std::string call;    // call sign as typed, checked by the producer
	int mode = 15;       // 0 (ping), 14, 15 or 16
	std::string payload; // bytes, at most what the mode carries
	std::string source;  // "page", "http", "fifo": for the log
};

// Transmissions wait here, one sent at a time; producers never wait.
class SendQueue
{
public:
	explicit SendQueue(size_t limit) : limit(limit) {}

	// False when the queue is full or closed.
	bool push(Transmission transmission)
	{
		std::lock_guard lock(mutex);
		if (closed || queue.size() >= limit) return false;
		queue.push_back(std::move(transmission));
		ready.notify_one();
		return true;
	}

	// The next transmission within timeout; false on a timeout or once closed.
	bool pop(Transmission &transmission, std::chrono::milliseconds timeout)
	{
		std::unique_lock lock(mutex);
		if (!ready.wait_for(lock, timeout, [this] { return closed || !queue.empty(); })) return false;
		if (closed) return false;
		transmission = std::move(queue.front());
		queue.pop_front();
		return true;
	}

	size_t size()
	{
		std::lock_guard lock(mutex);
		return queue.size();
	}

	void close()
	{
		std::lock_guard lock(mutex);
		closed = true;
		queue.clear();
		ready.notify_all();
	}

private:
	std::mutex mutex;
	std::condition_variable ready;
	std::deque<Transmission> queue;
	size_t limit;
	bool closed = false;
};
