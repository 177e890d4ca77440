#include "tools/station/web_server.hh"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "tools/station/event_stream.hh"
#include "tools/station/page_assets.hh"
#include "tools/station/request_checks.hh"
#include "tools/station/send_request.hh"
#include "tools/station/send_token.hh"

namespace {

// Scripts and styles from this server only, nothing inline, no framing.
const char *const content_policy = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
				   "connect-src 'self'; form-action 'none'; base-uri 'none'; frame-ancestors 'none'";

// How long an event stream waits for an event before it writes a comment,
// which finds a page that went away.
constexpr std::chrono::milliseconds keep_alive{1000};

std::string json_error(const std::string &text)
{
	std::string out = "{\"error\":\"";
	for (char c : text) {
		if (c == '"' || c == '\\') out += '\\';
		if (static_cast<unsigned char>(c) >= 0x20) out += c;
	}
	return out + "\"}";
}

void refuse(httplib::Response &res, int status, const std::string &text)
{
	res.status = status;
	res.set_content(json_error(text), "application/json");
}

} // namespace

struct WebServer::State
{
	Bus &bus;
	SendQueue &queue;
	WebOptions options;
	httplib::Server server;
	std::thread listener;
	std::atomic<bool> stopping{false}, listening_ended{false};
	std::mutex mutex;
	std::set<std::shared_ptr<Subscription>> streams;
	std::string page;

	State(Bus &bus, SendQueue &queue, WebOptions options) : bus(bus), queue(queue), options(std::move(options)) {}

	void routes();
	void events(const httplib::Request &req, httplib::Response &res);
	void send(const httplib::Request &req, httplib::Response &res);
};

void WebServer::State::routes()
{
	server.set_default_headers({{"Content-Security-Policy", content_policy},
				    {"X-Content-Type-Options", "nosniff"},
				    {"Referrer-Policy", "no-referrer"},
				    {"X-Frame-Options", "DENY"},
				    {"Cross-Origin-Resource-Policy", "same-origin"}});
	server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
		if (host_allowed(req.get_header_value("Host"), options.listen)) return httplib::Server::HandlerResponse::Unhandled;
		refuse(res, 403, "this server answers to its own address only (Host " + req.get_header_value("Host") + ")");
		return httplib::Server::HandlerResponse::Handled;
	});
	auto asset = [this](const char *path, std::string_view body, const char *type) {
		server.Get(path, [body, type](const httplib::Request &, httplib::Response &res) {
			res.set_header("Cache-Control", "no-cache");
			res.set_content(body.data(), body.size(), type);
		});
	};
	asset("/station.js", station_js, "text/javascript; charset=utf-8");
	asset("/station.css", station_css, "text/css; charset=utf-8");
	server.Get("/", [this](const httplib::Request &, httplib::Response &res) {
		res.set_header("Cache-Control", "no-store");
		res.set_content(page, "text/html; charset=utf-8");
	});
	server.Get("/events", [this](const httplib::Request &req, httplib::Response &res) { events(req, res); });
	server.Post("/send", [this](const httplib::Request &req, httplib::Response &res) { send(req, res); });
}

void WebServer::State::events(const httplib::Request &, httplib::Response &res)
{
	std::shared_ptr<Subscription> stream = stopping ? nullptr : bus.subscribe();
	if (!stream) {
		refuse(res, 503, "too many pages are open");
		return;
	}
	{
		std::lock_guard lock(mutex);
		streams.insert(stream);
	}
	res.set_header("Cache-Control", "no-store");
	res.set_chunked_content_provider(
	    "text/event-stream",
	    [this, stream](size_t, httplib::DataSink &sink) {
		    BusEvent event;
		    std::string frames;
		    if (stream->next(event, keep_alive)) {
			    // What else is queued goes out in the same write.
			    do frames += event_frame(event);
			    while (frames.size() < 65536 && stream->next(event, std::chrono::milliseconds(0)));
		    } else if (stopping || !stream->open()) {
			    return false;
		    } else {
			    frames = ":\n\n";
		    }
		    return sink.write(frames.data(), frames.size());
	    },
	    [this, stream](bool) {
		    stream->close();
		    std::lock_guard lock(mutex);
		    streams.erase(stream);
	    });
}

void WebServer::State::send(const httplib::Request &req, httplib::Response &res)
{
	if (!origin_allowed(req.get_header_value("Origin"), req.get_header_value("Host"))) {
		refuse(res, 403, "the request comes from another site (Origin " + req.get_header_value("Origin") + ")");
		return;
	}
	if (!same_token(req.get_header_value("X-Send-Token"), options.token)) {
		refuse(res, 403, "X-Send-Token is missing or wrong: send from the station's page, or copy its token");
		return;
	}
	Transmission transmission;
	std::string error;
	if (!parse_send_request(req.body, transmission, error)) {
		refuse(res, 400, error);
		return;
	}
	transmission.source = req.has_header("Origin") ? "page" : "http";
	if (!queue.push(std::move(transmission))) {
		refuse(res, 503, "the send queue is full: try again after the next transmission");
		return;
	}
	res.status = 202;
	res.set_content("{\"queued\":true}", "application/json");
}

WebServer::WebServer(Bus &bus, SendQueue &queue, WebOptions options)
    : state(std::make_unique<State>(bus, queue, std::move(options)))
{
}

WebServer::~WebServer() { stop(); }

bool WebServer::start(std::string &error)
{
	State &s = *state;
	try {
		if (s.options.token.empty()) s.options.token = make_send_token();
	} catch (const std::exception &e) {
		error = std::string("cannot make the send token: ") + e.what();
		return false;
	}
	s.page = std::string(station_html);
	s.page.replace(s.page.find("@SEND_TOKEN@"), 12, s.options.token);
	s.routes();
	// Not httplib's SO_REUSEPORT: a second station on the same port would
	// share it silently, each getting some of the requests.
	s.server.set_socket_options([](socket_t sock) {
		int yes = 1;
		setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
	});
	s.server.set_payload_max_length(4096);
	s.server.set_write_timeout(s.options.write_timeout, 0);
	s.server.set_read_timeout(5, 0);
	// A thread for every page the bus admits and eight for the short
	// requests, so that open pages never hold up a send.
	size_t threads = s.bus.page_limit() + 8;
	s.server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
	const std::string &host = s.options.listen.host;
	if (s.options.listen.port == 0) {
		s.options.listen.port = s.server.bind_to_any_port(host);
		if (s.options.listen.port < 0) s.options.listen.port = 0;
	} else if (!s.server.bind_to_port(host, s.options.listen.port)) {
		s.options.listen.port = 0;
	}
	if (!s.options.listen.port) {
		error = "cannot listen on " + host + ": the port is in use, or the address is not this machine's";
		return false;
	}
	s.listener = std::thread([&s] {
		s.server.listen_after_bind();
		s.listening_ended = true;
	});
	// stop() can end the listener only once it runs.
	while (!s.server.is_running() && !s.listening_ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
	return true;
}

void WebServer::stop()
{
	State &s = *state;
	if (!s.listener.joinable()) return;
	s.stopping = true;
	{
		std::lock_guard lock(s.mutex);
		for (auto &stream : s.streams) stream->close();
	}
	s.server.stop();
	s.listener.join();
}

int WebServer::port() const { return state->options.listen.port; }

const std::string &WebServer::token() const { return state->options.token; }
