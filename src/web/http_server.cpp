// The only file that sees Boost.Beast and Boost.Asio.
#include "web/http_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/work_queue.h"
#include "web/live_feed.h"
#include "web/web_text.h"

namespace zamri {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using std::chrono::milliseconds;

namespace {

class Connection;
class LiveStream;

// Windows lets a second program bind a port that is in use when this is set; elsewhere it only
// allows a quick restart while old connections linger.
#ifdef _WIN32
constexpr bool kReuseAddress = false;
#else
constexpr bool kReuseAddress = true;
#endif

constexpr size_t kRequestLimit = 8 * 1024;  // header, and body, each

using RequestParser = http::request_parser<http::string_body>;

void LimitParser(RequestParser& parser) {
    parser.header_limit(kRequestLimit);
    parser.body_limit(kRequestLimit);
}

// An IPv4 peer on a dual-stack socket counts as the IPv4 address it is.
asio::ip::address Plain(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

WebRequest ToWebRequest(const http::request<http::string_body>& request) {
    WebRequest asked;
    asked.method = std::string(request.method_string());
    asked.target = std::string(request.target());
    auto found = request.find(http::field::authorization);
    if (found != request.end())
        asked.authorization = std::string(found->value());
    found = request.find("Last-Event-ID");
    if (found != request.end())
        asked.lastEventId = std::string(found->value());
    // Two Host headers name no one host: refused as if there were none.
    if (request.count(http::field::host) == 1)
        asked.host = std::string(request.find(http::field::host)->value());
    return asked;
}

}  // namespace

int ParseWebRequest(const std::string& bytes, WebRequest* request) {
    RequestParser parser;
    LimitParser(parser);
    parser.eager(true);
    beast::error_code error;
    size_t used = 0;
    while (used < bytes.size() && !parser.is_done()) {
        size_t taken = parser.put(asio::buffer(bytes.data() + used, bytes.size() - used), error);
        if (taken == 0 && (!error || error == http::error::need_more))
            return 0;
        if (error && error != http::error::need_more)
            return -1;
        used += taken;
    }
    if (!parser.is_done())
        return 0;
    *request = ToWebRequest(parser.get());
    return 1;
}

struct HttpServer::Impl {
    // The search under way counts towards the queue's bound, beside those waiting.
    Impl(LiveFeed& f, Handler h, HttpServerLimits l)
        : feed(f),
          handler(std::move(h)),
          limits(l),
          jobs(static_cast<size_t>(l.waitingSearches > 0 ? l.waitingSearches : 0) + 1,
               WhenFull::kDropAndCount) {}

    LiveFeed& feed;
    Handler handler;
    HttpServerLimits limits;
    std::atomic<int> openStreams{0};
    std::atomic<int> openConnections{0};
    std::atomic<uint64_t> stalledStreams{0};
    std::atomic<uint64_t> refusedConnections{0};
    std::atomic<size_t> liveBytes{0};
    std::atomic<bool> wakePending{false};
    // Open connections and streams per address. A lock, because the last holder may go with
    // the loop's handlers when the loop has ended, on the thread that stops the server.
    std::mutex addressLock;
    std::map<asio::ip::address, int> perAddress;  // under addressLock
    std::atomic<int> port{0};
    // Declared after everything its handlers touch, so it goes first at destruction.
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer quiet{io};
    std::vector<std::weak_ptr<LiveStream>> streams;  // the loop's thread only
    std::thread thread;
    // Long requests (searches) run one after the other on a worker, so the loop goes on
    // serving the page and the live streams meanwhile.
    WorkQueue<std::function<void()>> jobs;

    void Accept();
    // Serves an accepted socket, or closes it at once when its address or the server is full.
    void Admit(tcp::socket socket);
    // false when too many wait already.
    bool Queue(std::function<void()> job) { return jobs.Push(std::move(job)); }
    void Wake();
    void Flush();
    void WakeStreams();
};

namespace {

// Sessions point to the server's state, which outlives them: they live in the loop's handlers,
// and the loop is the first member to go.
using ImplPtr = HttpServer::Impl*;

// One open connection of an address, from its accept until its stream (or connection) ends.
class AddressHold {
  public:
    AddressHold(ImplPtr server, asio::ip::address address) : server_(server), address_(std::move(address)) {}
    ~AddressHold() {
        std::lock_guard<std::mutex> guard(server_->addressLock);
        auto found = server_->perAddress.find(address_);
        if (found != server_->perAddress.end() && --found->second <= 0)
            server_->perAddress.erase(found);
    }
    AddressHold(const AddressHold&) = delete;
    AddressHold& operator=(const AddressHold&) = delete;

  private:
    ImplPtr server_;
    asio::ip::address address_;
};

class LiveStream : public std::enable_shared_from_this<LiveStream> {
  public:
    LiveStream(ImplPtr server, beast::tcp_stream stream, std::unique_ptr<AddressHold> hold, uint64_t from)
        : server_(std::move(server)),
          stream_(std::move(stream)),
          hold_(std::move(hold)),
          next_(from),
          ping_(stream_.get_executor()) {
        ++server_->openStreams;
    }
    ~LiveStream() {
        server_->liveBytes -= counted_;
        --server_->openStreams;
    }

    void Start() {
        out_ =
            "HTTP/1.1 200 OK\r\n"
            "Content-Type: text/event-stream; charset=utf-8\r\n"
            "Cache-Control: no-store\r\n"
            "X-Content-Type-Options: nosniff\r\n"
            "Connection: keep-alive\r\n\r\n"
            "retry: 2000\n\n";
        Send();
        SchedulePing();
        WatchForClose();
    }

    // Sends whatever the feed holds beyond what this browser has, unless a write is under way
    // (its completion comes back here). The lines go into the one buffer that is written from,
    // and no more of them than the limit: a stream whose browser has stopped reading holds that
    // much and no more, and what the feed's ring drops meanwhile becomes one "skipped" event
    // when it reads again.
    void Pump() {
        if (writing_ || closed_)
            return;
        const size_t limit = server_->limits.bytesPerWrite;
        if (out_.capacity() < limit + kSkipNoticeRoom)
            out_.reserve(limit + kSkipNoticeRoom);
        out_.clear();
        uint64_t skipped =
            server_->feed.ReadEvents(next_, server_->limits.linesPerWrite, limit, out_, &next_);
        Count();
        if (skipped == 0 && out_.empty())
            return;
        if (skipped != 0) {
            // Said before the lines that follow the gap, so the page can mark the place.
            out_.insert(0, "event: skipped\ndata: {\"count\":" + std::to_string(skipped) + "}\n\n");
        }
        Send();
    }

    void Close() {
        if (closed_)
            return;
        closed_ = true;
        ping_.cancel();
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

  private:
    static constexpr size_t kSkipNoticeRoom = 64;

    void Count() {
        size_t held = out_.capacity();
        server_->liveBytes += held - counted_;
        counted_ = held;
    }

    void Send() {
        writing_ = true;
        stream_.expires_after(milliseconds(server_->limits.writeTimeoutMs));
        asio::async_write(
            stream_, asio::buffer(out_),
            [self = shared_from_this()](beast::error_code error, size_t) { self->OnWritten(error); });
    }

    void OnWritten(beast::error_code error) {
        writing_ = false;
        if (error) {
            if (error == beast::error::timeout)
                ++server_->stalledStreams;
            Close();
            return;
        }
        stream_.expires_never();
        Pump();
    }

    void SchedulePing() {
        ping_.expires_after(milliseconds(server_->limits.keepAliveMs));
        ping_.async_wait([self = shared_from_this()](beast::error_code error) {
            if (error || self->closed_)
                return;
            if (!self->writing_) {
                self->out_ = ": keep-alive\n\n";
                self->Send();
            }
            self->SchedulePing();
        });
    }

    // A browser sends nothing on a stream; a read that ends means it has gone.
    void WatchForClose() {
        stream_.socket().async_read_some(asio::buffer(sink_),
                                         [self = shared_from_this()](beast::error_code error, size_t) {
                                             if (error) {
                                                 self->Close();
                                                 return;
                                             }
                                             self->WatchForClose();
                                         });
    }

    ImplPtr server_;
    beast::tcp_stream stream_;
    std::unique_ptr<AddressHold> hold_;
    uint64_t next_;
    asio::steady_timer ping_;
    std::string out_;
    size_t counted_ = 0;  // out_'s share of the server's liveBytes
    char sink_[512];
    bool writing_ = false;
    bool closed_ = false;
};

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(ImplPtr server, tcp::socket socket, std::unique_ptr<AddressHold> hold, std::string peer,
               std::string local)
        : server_(std::move(server)),
          stream_(std::move(socket)),
          hold_(std::move(hold)),
          peer_(std::move(peer)),
          local_(std::move(local)) {
        ++server_->openConnections;
    }
    ~Connection() { --server_->openConnections; }

    void Read() {
        parser_.emplace();
        LimitParser(*parser_);
        stream_.expires_after(milliseconds(server_->limits.requestTimeoutMs));
        http::async_read(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, size_t) { self->OnRead(error); });
    }

  private:
    void OnRead(beast::error_code error) {
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == asio::error::operation_aborted || error == asio::error::connection_reset ||
            error == asio::error::eof) {
            Close();
            return;
        }
        if (error) {
            // The request could not be parsed: say so and close.
            WebResponse bad;
            bad.status = 400;
            bad.contentType = "application/json; charset=utf-8";
            bad.body = "{\"error\":\"bad request\"}";
            Respond(bad, false, false);
            return;
        }
        const auto& request = parser_->get();
        WebRequest asked = ToWebRequest(request);
        asked.peer = peer_;
        asked.local = local_;
        WebResponse response = server_->handler(asked);
        if (response.later) {
            RespondLater(std::move(response.later), request.keep_alive(), asked.method == "HEAD");
            return;
        }
        if (response.liveStream && asked.method == "GET") {
            stream_.expires_never();
            auto stream = std::make_shared<LiveStream>(server_, std::move(stream_), std::move(hold_),
                                                       response.liveFrom);
            server_->streams.push_back(stream);
            stream->Start();
            return;
        }
        Respond(response, request.keep_alive(), asked.method == "HEAD");
    }

    void RespondLater(std::function<WebResponse()> work, bool keepAlive, bool headOnly) {
        stream_.expires_never();
        auto job = [self = shared_from_this(), work = std::move(work), keepAlive, headOnly]() mutable {
            WebResponse answer = work();
            ImplPtr server = self->server_;
            asio::post(server->io, [self = std::move(self), answer = std::move(answer), keepAlive, headOnly] {
                self->Respond(answer, keepAlive, headOnly);
            });
        };
        if (!server_->Queue(std::move(job))) {
            WebResponse busy;
            busy.status = 503;
            busy.contentType = "application/json; charset=utf-8";
            busy.body = "{\"error\":\"too many searches at once; try again in a moment\"}";
            Respond(busy, keepAlive, headOnly);
        }
    }

    void Respond(const WebResponse& answer, bool keepAlive, bool headOnly) {
        response_ = {};
        response_.version(11);
        response_.result(static_cast<unsigned>(answer.status));
        response_.set(http::field::server, "zamri");
        response_.set(http::field::content_type, answer.contentType);
        response_.set(http::field::cache_control, "no-store");
        response_.set("X-Content-Type-Options", "nosniff");
        response_.set("Content-Security-Policy",
                      "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                      "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'self'");
        if (!answer.allow.empty())
            response_.set(http::field::allow, answer.allow);
        if (!answer.attachment.empty())
            response_.set(http::field::content_disposition,
                          "attachment; filename=\"" + answer.attachment + "\"");
        if (answer.askPassword)
            response_.set(http::field::www_authenticate, "Basic realm=\"zamri\", charset=\"UTF-8\"");
        if (answer.retryAfterSeconds > 0)
            response_.set(http::field::retry_after, std::to_string(answer.retryAfterSeconds));
        response_.keep_alive(keepAlive);
        response_.body() = headOnly ? std::string() : answer.body;
        response_.content_length(answer.body.size());
        stream_.expires_after(milliseconds(server_->limits.writeTimeoutMs));
        http::async_write(stream_, response_,
                          [self = shared_from_this(), keepAlive](beast::error_code error, size_t) {
                              if (error || !keepAlive) {
                                  self->Close();
                                  return;
                              }
                              self->Read();
                          });
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.close();
    }

    ImplPtr server_;
    beast::tcp_stream stream_;
    std::unique_ptr<AddressHold> hold_;
    std::string peer_;
    std::string local_;
    // A header and a body at their limits, and no more pipelined behind them.
    beast::flat_buffer buffer_{2 * kRequestLimit + 1024};
    std::optional<RequestParser> parser_;
    http::response<http::string_body> response_;
};

}  // namespace

void HttpServer::Impl::Accept() {
    acceptor.async_accept([self = this](beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !self->acceptor.is_open())
            return;
        if (!error)
            self->Admit(std::move(socket));
        self->Accept();
    });
}

void HttpServer::Impl::Admit(tcp::socket socket) {
    beast::error_code code;
    tcp::endpoint remote = socket.remote_endpoint(code);
    tcp::endpoint local;
    if (!code)
        local = socket.local_endpoint(code);
    if (code) {  // gone before it was served
        beast::error_code ignored;
        socket.close(ignored);
        return;
    }
    asio::ip::address peer = Plain(remote.address());
    bool full = openConnections.load() + openStreams.load() >= limits.maxConnections;
    if (!full) {
        std::lock_guard<std::mutex> guard(addressLock);
        int& open = perAddress[peer];
        full = open >= limits.connectionsPerAddress;
        if (!full)
            ++open;
        else if (open == 0)
            perAddress.erase(peer);
    }
    if (full) {
        ++refusedConnections;
        beast::error_code ignored;
        socket.close(ignored);
        return;
    }
    auto hold = std::make_unique<AddressHold>(this, peer);
    // A fixed send buffer: the system's own grows to megabytes for a browser that stopped reading.
    socket.set_option(asio::socket_base::send_buffer_size(limits.sendBuffer), code);
    std::make_shared<Connection>(this, std::move(socket), std::move(hold), peer.to_string(),
                                 Plain(local.address()).to_string())
        ->Read();
}

void HttpServer::Impl::Wake() {
    // Many lines in a row cost one post: the loop reads everything new when it gets there.
    if (wakePending.exchange(true))
        return;
    asio::post(io, [self = this] { self->Flush(); });
}

// A line after a quiet spell goes out at once; lines that follow it within batchMs go out
// together when that time is up, so a flood costs the browsers' thread a few writes per
// batch instead of a wake-up and a write per line and stream.
void HttpServer::Impl::Flush() {
    WakeStreams();
    quiet.expires_after(milliseconds(limits.batchMs));
    quiet.async_wait([self = this](beast::error_code error) {
        if (error)
            return;
        self->wakePending = false;
        self->WakeStreams();
    });
}

void HttpServer::Impl::WakeStreams() {
    size_t kept = 0;
    for (size_t i = 0; i < streams.size(); ++i) {
        std::shared_ptr<LiveStream> stream = streams[i].lock();
        if (!stream)
            continue;
        stream->Pump();
        streams[kept++] = streams[i];
    }
    streams.resize(kept);
}

HttpServer::HttpServer(LiveFeed& feed, Handler handler, HttpServerLimits limits)
    : impl_(std::make_unique<Impl>(feed, std::move(handler), limits)) {}

HttpServer::~HttpServer() {
    Stop();
}

int HttpServer::Start(const char* address, int port, std::string& error) {
    if (impl_->thread.joinable()) {
        error = "the web server is running already";
        return 0;
    }
    beast::error_code code;
    asio::ip::address ip = asio::ip::make_address(address, code);
    if (code) {
        error = std::string("\"") + address + "\" is not an IP address";
        return 0;
    }
    tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
    tcp::acceptor& acceptor = impl_->acceptor;
    acceptor.open(endpoint.protocol(), code);
    if (!code && kReuseAddress)
        acceptor.set_option(asio::socket_base::reuse_address(true), code);
    if (!code)
        acceptor.bind(endpoint, code);
    if (!code)
        acceptor.listen(asio::socket_base::max_listen_connections, code);
    if (code) {
        error = "cannot listen on " + std::string(address) + " port " + std::to_string(port) + ": " +
                code.message();
        beast::error_code ignored;
        acceptor.close(ignored);
        return 0;
    }
    impl_->port = acceptor.local_endpoint(code).port();
    // Stop removes the listener before the state goes; the feed never calls a removed one.
    impl_->feed.SetListener([impl = impl_.get()] { impl->Wake(); });
    impl_->Accept();
    impl_->jobs.Start([](std::function<void()>& job) {
        job();
        job = nullptr;  // its connection goes on the loop's side, or with the loop
    });
    impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
    return 1;
}

void HttpServer::Stop() {
    if (!impl_->thread.joinable())
        return;
    impl_->feed.SetListener(nullptr);
    asio::post(impl_->io, [impl = impl_.get()] {
        beast::error_code ignored;
        impl->acceptor.close(ignored);
        impl->quiet.cancel();
        for (auto& weak : impl->streams)
            if (auto stream = weak.lock())
                stream->Close();
        impl->io.stop();
    });
    impl_->thread.join();
    // What waits is dropped; a search under way ends soon: the site's search watches for the stop.
    impl_->jobs.Stop(0);
    impl_->streams.clear();
    impl_->port = 0;
}

int HttpServer::Port() const {
    return impl_->port.load();
}

int HttpServer::OpenStreams() const {
    return impl_->openStreams.load();
}

int HttpServer::OpenConnections() const {
    return impl_->openConnections.load();
}

uint64_t HttpServer::StalledStreams() const {
    return impl_->stalledStreams.load();
}

uint64_t HttpServer::RefusedConnections() const {
    return impl_->refusedConnections.load();
}

size_t HttpServer::LiveBytesHeld() const {
    return impl_->liveBytes.load();
}

}  // namespace zamri
