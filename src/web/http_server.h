// The web page's HTTP server: one thread with its own event loop, serving the routes and the
// live stream (server-sent events) to any number of browsers. Lines reach it only through the
// LiveFeed; a browser that reads slowly skips lines (and is told how many), one that stops
// reading is dropped after the write time-out, and neither ever holds the feed's writer. What
// one browser may hold is bounded: connections per address, and bytes waiting per stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "web/web_routes.h"

namespace zamri {

class LiveFeed;

struct HttpServerLimits {
    int writeTimeoutMs = 20000;        // a stream whose write does not finish by then is closed
    int requestTimeoutMs = 30000;      // a request must arrive whole within this
    int keepAliveMs = 15000;           // an idle stream gets a comment line this often
    int maxConnections = 512;          // more are closed at once
    int connectionsPerAddress = 32;    // more from one address are closed at once
    size_t linesPerWrite = 512;        // the most lines in one write to a stream
    size_t bytesPerWrite = 64 * 1024;  // the most a stream holds unsent (one line always goes)
    int sendBuffer = 64 * 1024;        // the system's send buffer of every connection
    int batchMs = 5;                   // lines close behind one just sent wait this long at most
    int waitingSearches = 8;           // more get 503 until one is done
};

// Reads one request from bytes as the server reads it (the same parser, limits and fields;
// peer and local stay empty): 1 with the request, 0 when the bytes end before it does, -1
// when the server would answer them with 400.
int ParseWebRequest(const std::string& bytes, WebRequest* request);

class HttpServer {
  public:
    using Handler = std::function<WebResponse(const WebRequest&)>;

    HttpServer(LiveFeed& feed, Handler handler, HttpServerLimits limits = HttpServerLimits());
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on address:port (port 0: any free port) and starts the thread. 1, or 0 with the
    // reason in error.
    int Start(const char* address, int port, std::string& error);
    // Closes every connection and ends the thread; harmless when not started.
    void Stop();
    // The port listened on, 0 when not running.
    int Port() const;
    // Open live streams and connections (for the status and for tests).
    int OpenStreams() const;
    int OpenConnections() const;
    // Streams closed because a write did not finish in time.
    uint64_t StalledStreams() const;
    // Connections closed at once because their address, or the server, had the most open.
    uint64_t RefusedConnections() const;
    // What the live streams hold for sending, in bytes.
    size_t LiveBytesHeld() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zamri
