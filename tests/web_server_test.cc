#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <thread>

#include "tools/station/event_stream.hh"
#include "tools/station/listen_address.hh"
#include "tools/station/send_token.hh"
#include "tools/station/web_server.hh"

namespace {

using namespace std::chrono_literals;

WebOptions loopback(int port)
{
	WebOptions options;
	options.listen.port = port;
	options.write_timeout = 1;
	return options;
}

// A server on a free loopback port with a bus and a send queue the test drives.
struct Station
{
	Bus bus;
	SendQueue queue;
	WebServer server;

	explicit Station(size_t pages = 4, size_t queue_limit = 64, size_t sends = 8)
	    : bus(pages, queue_limit), queue(sends), server(bus, queue, loopback(0))
	{
		std::string error;
		if (!server.start(error)) throw std::runtime_error(error);
	}

	std::string host() const { return "127.0.0.1:" + std::to_string(server.port()); }
	httplib::Client client() const { return httplib::Client("127.0.0.1", server.port()); }

	httplib::Result post(const std::string &body, httplib::Headers headers)
	{
		return client().Post("/send", headers, body, "application/json");
	}
};

// Events of one page as its browser would parse them, until count arrived.
std::vector<BusEvent> read_events(Station &s, size_t count)
{
	std::vector<BusEvent> events;
	std::string buffer;
	s.client().Get("/events", [&](const char *data, size_t size) {
		buffer.append(data, size);
		for (size_t end; (end = buffer.find("\n\n")) != std::string::npos; buffer.erase(0, end + 2)) {
			std::smatch m;
			std::string frame = buffer.substr(0, end);
			if (std::regex_match(frame, m, std::regex("event: (\\w+)\ndata: (.*)"))) events.push_back({m[1], m[2]});
		}
		return events.size() < count;
	});
	return events;
}

bool eventually(const std::function<bool()> &condition)
{
	for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(20ms))
		if (condition()) return true;
	return condition();
}

struct Refusal
{
	const char *what;
	int status;
	std::string body;
	bool token = true;
	std::string origin = "";   // "self": the page's own; "rebound": the rebound name's
	std::string host = "";     // empty: the client's own
	const char *said = "";     // part of the error text
};

void PrintTo(const Refusal &r, std::ostream *out) { *out << r.what; }

class Refused : public testing::TestWithParam<Refusal>
{
};

// Nothing reaches the queue without everything right.
TEST_P(Refused, AndNothingQueued)
{
	Station s;
	const Refusal &r = GetParam();
	httplib::Headers headers;
	if (r.token) headers.emplace("X-Send-Token", s.server.token());
	if (!r.host.empty()) headers.emplace("Host", r.host + ":" + std::to_string(s.server.port()));
	std::string port = ":" + std::to_string(s.server.port());
	if (r.origin == "self") headers.emplace("Origin", "http://" + s.host());
	else if (r.origin == "rebound") headers.emplace("Origin", "http://evil.example" + port);
	else if (!r.origin.empty()) headers.emplace("Origin", r.origin);
	auto res = s.post(r.body, headers);
	ASSERT_TRUE(res);
	EXPECT_EQ(res->status, r.status);
	EXPECT_EQ(res->get_header_value("Content-Type"), "application/json");
	EXPECT_NE(res->body.find(r.said), std::string::npos) << res->body;
	EXPECT_EQ(s.queue.size(), 0u);
}

const std::string good = R"({"call":"DL1ABC","mode":15,"payload":"hello"})";

std::string with_payload(int mode, size_t bytes)
{
	return R"({"call":"DL1ABC","mode":)" + std::to_string(mode) + R"(,"payload":")" + std::string(bytes, 'x') + "\"}";
}

INSTANTIATE_TEST_SUITE_P(
    Send, Refused,
    testing::Values(Refusal{"no token", 403, good, false, "self", "", "X-Send-Token"},
		    Refusal{"foreign origin", 403, good, true, "http://evil.example", "", "another site"},
		    Refusal{"origin on another port", 403, good, true, "http://127.0.0.1:1", "", "another site"},
		    Refusal{"rebound name", 403, good, true, "", "evil.example", "own address"},
		    Refusal{"rebound name with its origin", 403, good, true, "rebound", "evil.example", "own address"},
		    Refusal{"171 bytes", 400, with_payload(14, 171), true, "self", "", "171 bytes is too long"},
		    Refusal{"129 bytes in 15", 400, with_payload(15, 129), true, "", "", "at most 128"},
		    Refusal{"86 bytes in 16", 400, with_payload(16, 86), true, "", "", "at most 85"},
		    Refusal{"ping with payload", 400, with_payload(0, 1), true, "", "", "no payload"},
		    Refusal{"slash in call", 400, R"({"call":"DL1/P","mode":16,"payload":"a"})", true, "", "", "call"},
		    Refusal{"ten characters", 400, R"({"call":"DL1ABCDEFG","mode":16,"payload":"a"})", true, "", "", "call"},
		    Refusal{"spaces only", 400, R"({"call":"   ","mode":16,"payload":"a"})", true, "", "", "call"},
		    Refusal{"call a number", 400, R"({"call":12,"mode":16,"payload":"a"})", true, "", "", "call"},
		    Refusal{"mode 13", 400, R"({"call":"A","mode":13,"payload":"a"})", true, "", "", "mode"},
		    Refusal{"mode as text", 400, R"({"call":"A","mode":"15","payload":"a"})", true, "", "", "mode"},
		    Refusal{"zero byte", 400, R"({"call":"A","mode":16,"payload":"a\u0000b"})", true, "", "", "zero"},
		    Refusal{"extra field", 400, R"({"call":"A","mode":16,"payload":"a","ptt":1})", true, "", "", "ptt"},
		    Refusal{"not JSON", 400, "call=A&mode=16", true, "", "", "not JSON"},
		    Refusal{"array", 400, "[1,2]", true, "", "", "object"}),
    [](const testing::TestParamInfo<Refusal> &info) { return std::regex_replace(info.param.what, std::regex("\\W"), "_"); });

TEST(Send, WrongTokenOfTheRightLength)
{
	Station s;
	std::string wrong = s.server.token();
	wrong[31] = wrong[31] == '0' ? '1' : '0';
	auto res = s.post(good, {{"X-Send-Token", wrong}});
	ASSERT_TRUE(res);
	EXPECT_EQ(res->status, 403);
	EXPECT_EQ(s.queue.size(), 0u);
}

// The largest payload of every mode, and a ping, each queued once as sent.
TEST(Send, QueuesWhatEachModeCarries)
{
	Station s;
	struct Case { int mode; size_t bytes; std::string origin, host; };
	for (const Case &c : {Case{14, 170, "self", ""}, Case{15, 128, "", "localhost"}, Case{16, 85, "", ""},
			      Case{16, 1, "", "[::1]"}, Case{0, 0, "", ""}}) {
		httplib::Headers headers{{"X-Send-Token", s.server.token()}};
		if (!c.host.empty()) headers.emplace("Host", c.host + ":" + std::to_string(s.server.port()));
		if (!c.origin.empty()) headers.emplace("Origin", "http://" + s.host());
		std::string body = c.mode ? with_payload(c.mode, c.bytes) : R"({"call":"dl1abc 9","mode":0})";
		auto res = s.post(body, headers);
		ASSERT_TRUE(res);
		EXPECT_EQ(res->status, 202) << c.mode << ": " << res->body;
		Transmission t;
		ASSERT_TRUE(s.queue.pop(t, 0ms));
		EXPECT_EQ(t.mode, c.mode);
		EXPECT_EQ(t.payload, std::string(c.bytes, 'x'));
		EXPECT_EQ(t.call, c.mode ? "DL1ABC" : "dl1abc 9");
		EXPECT_EQ(t.source, c.origin.empty() ? "http" : "page");
		EXPECT_FALSE(s.queue.pop(t, 0ms));
	}
}

TEST(Send, FullQueueIsRefused)
{
	Station s(4, 64, 2);
	std::vector<int> answers;
	for (int i = 0; i < 3; ++i) answers.push_back(s.post(good, {{"X-Send-Token", s.server.token()}})->status);
	EXPECT_EQ(answers, (std::vector<int>{202, 202, 503}));
	EXPECT_EQ(s.queue.size(), 2u);
}

// A rebound name gets neither the page (and its token) nor the events.
TEST(Page, OnlyForItsOwnHost)
{
	Station s;
	for (const char *path : {"/", "/events", "/station.js"}) {
		int status = 0;
		std::string body;
		// What is answered, without waiting for the end of an event stream.
		s.client().Get(
		    path, {{"Host", "evil.example:" + std::to_string(s.server.port())}},
		    [&](const httplib::Response &res) { return (status = res.status) != 200; },
		    [&](const char *data, size_t size) { return body.append(data, size), true; });
		EXPECT_EQ(status, 403) << path;
		EXPECT_EQ(body.find(s.server.token()), std::string::npos);
	}
	EXPECT_EQ(s.bus.subscribers(), 0u);
}

// The token in the page, scripts only from files, no inline handlers.
TEST(Page, ServesItsFilesUnderAStrictPolicy)
{
	Station s;
	auto page = s.client().Get("/");
	ASSERT_TRUE(page);
	EXPECT_EQ(page->status, 200);
	EXPECT_NE(page->body.find("<meta name=\"send-token\" content=\"" + s.server.token() + "\">"), std::string::npos);
	std::string policy = page->get_header_value("Content-Security-Policy");
	EXPECT_NE(policy.find("script-src 'self'"), std::string::npos);
	EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos);
	EXPECT_EQ(policy.find("unsafe"), std::string::npos);
	EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
	EXPECT_EQ(page->get_header_value("Referrer-Policy"), "no-referrer");
	EXPECT_FALSE(std::regex_search(page->body, std::regex("<script(?![^>]*\\ssrc=)|\\son\\w+=|style=|https?://")));
	for (auto [path, type] : {std::pair{"/station.js", "text/javascript"}, {"/station.css", "text/css"}}) {
		auto res = s.client().Get(path);
		ASSERT_TRUE(res);
		EXPECT_EQ(res->status, 200);
		EXPECT_EQ(res->get_header_value("Content-Type").rfind(type, 0), 0u) << path;
		EXPECT_GT(res->body.size(), 500u);
	}
	EXPECT_EQ(s.client().Get("/station.json")->status, 404);
}

TEST(Events, ArriveInOrder)
{
	Station s(4, 1000);
	std::vector<BusEvent> sent;
	for (int i = 0; i < 200; ++i)
		sent.push_back({i % 3 ? "row" : "message", "{\"n\":" + std::to_string(i) + ",\"text\":\"a b\"}"});
	std::vector<BusEvent> got;
	std::thread page([&] { got = read_events(s, sent.size()); });
	ASSERT_TRUE(eventually([&] { return s.bus.subscribers() == 1; }));
	for (const BusEvent &e : sent) s.bus.publish(e.kind, e.data);
	page.join();
	ASSERT_EQ(got.size(), sent.size());
	for (size_t i = 0; i < sent.size(); ++i) {
		EXPECT_EQ(got[i].kind, sent[i].kind);
		EXPECT_EQ(got[i].data, sent[i].data);
	}
	EXPECT_TRUE(eventually([&] { return s.bus.subscribers() == 0; }));
}

TEST(Events, PagesBeyondTheLimitAreRefusedUntilOneLeaves)
{
	Station s(2);
	std::atomic<bool> leave{false};
	auto hold = [&] { s.client().Get("/events", [&](const char *, size_t) { return !leave; }); };
	std::thread first(hold), second(hold);
	ASSERT_TRUE(eventually([&] { return s.bus.subscribers() == 2; }));
	auto refused = s.client().Get("/events");
	ASSERT_TRUE(refused);
	EXPECT_EQ(refused->status, 503);
	leave = true;
	// Each page learns it should leave from the next thing written to it.
	s.bus.publish("status", "{}");
	first.join(), second.join();
	ASSERT_TRUE(eventually([&] { return s.bus.subscribers() == 0; }));
	std::thread third([&] { read_events(s, 1); });
	ASSERT_TRUE(eventually([&] { return s.bus.subscribers() == 1; }));
	s.bus.publish("status", "{}");
	third.join();
}

// A page that reads nothing fills its socket and its queue; the bus drops
// it without waiting, its server thread ends and frees its place.
TEST(Events, StalledPageIsDroppedWithoutHoldingUpPublish)
{
	Station s(1, 16);
	int sock = socket(AF_INET, SOCK_STREAM, 0);
	int small = 4096;
	setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
	sockaddr_in to{};
	to.sin_family = AF_INET;
	to.sin_port = htons(uint16_t(s.server.port()));
	to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	ASSERT_EQ(connect(sock, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
	std::string request = "GET /events HTTP/1.1\r\nHost: " + s.host() + "\r\n\r\n";
	ASSERT_EQ(write(sock, request.data(), request.size()), ssize_t(request.size()));
	ASSERT_TRUE(eventually([&] { return s.bus.subscribers() == 1; }));
	std::string big(65536, 'x');
	int published = 0;
	while (s.bus.subscribers() && published < 100000) s.bus.publish("row", big), ++published;
	EXPECT_EQ(s.bus.subscribers(), 0u) << published;
	// Its thread has returned once another page gets the one place.
	std::thread page([&] { read_events(s, 1); });
	EXPECT_TRUE(eventually([&] {
		if (!s.bus.subscribers()) return false;
		s.bus.publish("status", "{}");
		return true;
	}));
	page.join();
	close(sock);
}

// A page the bus dropped (or closed) is told so at once: its stream ends.
TEST(Events, StreamEndsWithItsSubscription)
{
	Station s;
	std::atomic<bool> ended{false}, give_up{false};
	std::thread page([&] {
		s.client().Get("/events", [&](const char *, size_t) { return !give_up; });
		ended = true;
	});
	ASSERT_TRUE(eventually([&] { return s.bus.subscribers() == 1; }));
	s.bus.close();
	EXPECT_TRUE(eventually([&] { return ended.load(); }));
	give_up = true;
	page.join();
}

TEST(Events, StopEndsOpenStreams)
{
	auto s = std::make_unique<Station>();
	std::thread page([&] { s->client().Get("/events", [](const char *, size_t) { return true; }); });
	ASSERT_TRUE(eventually([&] { return s->bus.subscribers() == 1; }));
	s->server.stop();
	page.join();
	EXPECT_EQ(s->bus.subscribers(), 0u);
}

TEST(Events, FrameKeepsEveryLineOfTheData)
{
	EXPECT_EQ(event_frame({"row", "{\"t\":1}"}), "event: row\ndata: {\"t\":1}\n\n");
	EXPECT_EQ(event_frame({"message", "a\nb\n"}), "event: message\ndata: a\ndata: b\ndata: \n\n");
}

TEST(Listen, ParsesAddressAndPort)
{
	struct Case { const char *text; bool ok; const char *host = ""; int port = 0; bool loopback = false; };
	for (const Case &c : {Case{"127.0.0.1:8073", true, "127.0.0.1", 8073, true},
			      Case{"0.0.0.0:80", true, "0.0.0.0", 80, false},
			      Case{"[::1]:9000", true, "::1", 9000, true},
			      Case{"[::]:9000", true, "::", 9000, false},
			      Case{"localhost:1", true, "localhost", 1, true},
			      Case{"127.1.2.3:65535", true, "127.1.2.3", 65535, true},
			      Case{"192.168.1.10:8073", true, "192.168.1.10", 8073, false},
			      Case{"127.0.0.1.evil.example:8073", true, "127.0.0.1.evil.example", 8073, false},
			      Case{"8073", false}, Case{":8073", false}, Case{"127.0.0.1:", false},
			      Case{"127.0.0.1:65536", false}, Case{"127.0.0.1:0", false}, Case{"::1:8073", false},
			      Case{"[::1:8073", false}, Case{"127.0.0.1:80a", false}, Case{"a b:80", false}}) {
		ListenAddress where;
		std::string error;
		ASSERT_EQ(parse_listen(c.text, where, error), c.ok) << c.text;
		EXPECT_EQ(error.empty(), c.ok) << c.text;
		if (!c.ok) continue;
		EXPECT_EQ(where.host, c.host);
		EXPECT_EQ(where.port, c.port);
		EXPECT_EQ(is_loopback(where.host), c.loopback) << c.text;
		EXPECT_EQ(listen_warning(where).empty(), c.loopback) << c.text;
	}
	EXPECT_TRUE(is_loopback(ListenAddress{}.host));
	EXPECT_EQ(ListenAddress{}.port, 8073);
}

TEST(Listen, BusyPortIsAnError)
{
	Station s;
	Bus bus(1, 1);
	SendQueue queue(1);
	WebServer second(bus, queue, loopback(s.server.port()));
	std::string error;
	EXPECT_FALSE(second.start(error));
	EXPECT_NE(error.find("cannot listen"), std::string::npos);
}

TEST(Token, HoldsOneHundredTwentyEightFreshBits)
{
	std::string a = make_send_token(), b = make_send_token();
	EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{32}")));
	EXPECT_NE(a, b);
}

} // namespace
