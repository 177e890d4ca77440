#pragma once

#include <memory>
#include <string>

#include "tools/station/bus.hh"
#include "tools/station/listen_address.hh"
#include "tools/station/send_queue.hh"

struct WebOptions
{
	ListenAddress listen;  // port 0: any free port, see WebServer::port()
	std::string token;     // for POST /send; empty: 128 random bits made by start()
	int write_timeout = 2; // seconds a page may refuse data before it is dropped
};

// The station's page: GET / (the page, its script and style), GET /events
// (server-sent events from a subscription to the bus), POST /send (into
// the send queue). Host, Origin and the page's token keep other sites out.
class WebServer
{
public:
	WebServer(Bus &bus, SendQueue &queue, WebOptions options);
	~WebServer();
	WebServer(const WebServer &) = delete;
	WebServer &operator=(const WebServer &) = delete;

	// Listens and serves in threads of its own; false, with error set, when
	// it cannot listen.
	bool start(std::string &error);
	// Ends every event stream and waits for the threads.
	void stop();

	int port() const;
	const std::string &token() const;

private:
	struct State;
	std::unique_ptr<State> state;
};
