#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// A ring between exactly one producer thread and one consumer thread. The
// storage is allocated once; push and pop take no lock and allocate
// nothing. Each side owns one index and only reads the other's: the
// release store of an index publishes the values before it, the acquire
// load on the other side sees them.
template <typename T>
class SpscRing
{
public:
	explicit SpscRing(size_t capacity) : size(capacity + 1), slots(new T[capacity + 1]) {}
	SpscRing(const SpscRing &) = delete;
	SpscRing &operator=(const SpscRing &) = delete;

	size_t capacity() const { return size - 1; }

	// Copies all count values, or none when they do not fit: a block is
	// lost whole, so that frames of two values stay aligned.
	bool push(const T *values, size_t count)
	{
		size_t write = tail.load(std::memory_order_relaxed);
		size_t read = head.load(std::memory_order_acquire);
		if (count > (read + size - write - 1) % size) return false;
		size_t first = std::min(count, size - write);
		std::copy_n(values, first, slots.get() + write);
		std::copy_n(values + first, count - first, slots.get());
		tail.store((write + count) % size, std::memory_order_release);
		return true;
	}

	// Takes up to count values; returns how many.
	size_t pop(T *values, size_t count)
	{
		size_t read = head.load(std::memory_order_relaxed);
		size_t write = tail.load(std::memory_order_acquire);
		size_t held = (write + size - read) % size;
		count = std::min(count, held);
		size_t first = std::min(count, size - read);
		std::copy_n(slots.get() + read, first, values);
		std::copy_n(slots.get(), count - first, values + first);
		head.store((read + count) % size, std::memory_order_release);
		return count;
	}

	// Values waiting; exact for either side, a snapshot for anyone else.
	size_t held() const
	{
		size_t write = tail.load(std::memory_order_acquire), read = head.load(std::memory_order_acquire);
		return (write + size - read) % size;
	}

private:
	size_t size; // one slot stays empty, so that full and empty differ
	std::unique_ptr<T[]> slots;
	// Apart, so that the two threads do not write the same cache line.
	alignas(64) std::atomic<size_t> head{0}; // next value to pop; written by the consumer
	alignas(64) std::atomic<size_t> tail{0}; // next slot to fill; written by the producer
};
