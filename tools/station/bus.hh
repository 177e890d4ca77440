#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What the station tells its pages: server-sent events with a name and one
// line of JSON text.
//  "message": each receiver event as decode_stream --format json prints it
//     (SYNC, then MESSAGE with its payload; PING, NOPE, PREAMBLE_FAIL,
//     HEAP_ERROR), with "mapping" added where the station knows it.
//  "row": one waterfall row, row_event() in row_event.hh:
//     {"t": seconds of input, "rgba": base64 of 360 pixels R, G, B, alpha as
//     spectrum_colour gives them, 0 Hz first}; two per period, about 11 a second.
//  "status": {"rate": measured input rate in Hz, "level": peak in dBFS,
//     "clipping": true when a sample reached full scale since the last status,
//     "overruns": count, "underruns": count, "tx": "idle", "keyed", "sending"
//     or "tail", "queued": transmissions waiting}; any field may be missing,
//     at least once a second while the input runs.
struct BusEvent
{
	std::string kind;
	std::string data;
};

// One page's queue. A page that falls queue_limit events behind is dropped:
// the receiver never waits for a browser.
class Subscription
{
public:
	explicit Subscription(size_t queue_limit) : limit(queue_limit) {}

	// The next event within timeout; false on a timeout, or for good once the
	// subscription was dropped or closed.
	bool next(BusEvent &event, std::chrono::milliseconds timeout)
	{
		std::unique_lock lock(mutex);
		if (!ready.wait_for(lock, timeout, [this] { return ended || !events.empty(); })) return false;
		if (ended) return false;
		event = std::move(events.front());
		events.pop_front();
		return true;
	}

	bool open() const
	{
		std::lock_guard lock(mutex);
		return !ended;
	}

	void close()
	{
		std::lock_guard lock(mutex);
		ended = true;
		events.clear();
		ready.notify_all();
	}

	// False when the queue was full: the subscription is then closed.
	bool offer(const BusEvent &event)
	{
		std::lock_guard lock(mutex);
		if (ended) return false;
		if (events.size() >= limit) {
			ended = true;
			events.clear();
			ready.notify_all();
			return false;
		}
		events.push_back(event);
		ready.notify_one();
		return true;
	}

private:
	mutable std::mutex mutex;
	std::condition_variable ready;
	std::deque<BusEvent> events;
	size_t limit;
	bool ended = false;
};

// Fans every event out to at most max_pages subscriptions; publish() never
// blocks on a page.
class Bus
{
public:
	Bus(size_t max_pages, size_t queue_limit) : max_pages(max_pages), queue_limit(queue_limit) {}

	// Null when max_pages pages are already subscribed.
	std::shared_ptr<Subscription> subscribe()
	{
		std::lock_guard lock(mutex);
		prune();
		if (pages.size() >= max_pages) return nullptr;
		pages.push_back(std::make_shared<Subscription>(queue_limit));
		return pages.back();
	}

	void publish(std::string kind, std::string data)
	{
		BusEvent event{std::move(kind), std::move(data)};
		std::lock_guard lock(mutex);
		for (auto &page : pages) page->offer(event);
		prune();
	}

	size_t page_limit() const { return max_pages; }

	size_t subscribers()
	{
		std::lock_guard lock(mutex);
		prune();
		return pages.size();
	}

	// Ends every subscription, so that their servers' threads return.
	void close()
	{
		std::lock_guard lock(mutex);
		for (auto &page : pages) page->close();
		pages.clear();
	}

private:
	void prune()
	{
		std::erase_if(pages, [](const std::shared_ptr<Subscription> &page) { return !page->open(); });
	}

	std::mutex mutex;
	std::vector<std::shared_ptr<Subscription>> pages;
	size_t max_pages, queue_limit;
};
