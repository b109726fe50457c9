// A small blocking HTTP/1.1 client over the program's own socket layer, for the web tests on
// both platforms: plain requests, and live streams read event by event.
#pragma once

#include <string>
#include <vector>

#include "net/socket_seam.h"

namespace testing_support {

struct HttpReply {
    int status = 0;       // 0: no answer
    std::string headers;  // the header block, lower-cased names kept as sent
    std::string body;
    std::string Header(const std::string& name) const;
};

// One request on a fresh connection ("Connection: close"); extraHeaders end in CRLF each. from:
// the local address to connect from (a second loopback address stands for another machine).
HttpReply HttpGet(int port, const std::string& target, const std::string& extraHeaders = "",
                  const std::string& method = "GET", const std::string& from = "");
// Sends raw bytes and reads whatever comes until the server closes (or the time runs out).
std::string RawExchange(int port, const std::string& bytes, int milliseconds = 5000,
                        const std::string& from = "");

struct StreamEvent {
    std::string event;  // "line", "skipped", ...
    std::string id;
    std::string data;
};

// A live stream held open; events are parsed as they are read.
class LiveClient {
  public:
    LiveClient() = default;
    ~LiveClient();
    LiveClient(const LiveClient&) = delete;
    LiveClient& operator=(const LiveClient&) = delete;

    // Connects and sends the request; with readHead, also reads the response head. 1 or 0.
    int Open(int port, const std::string& target = "/api/live", const std::string& extraHeaders = "",
             bool readHead = true, const std::string& from = "");
    int Status() const { return status_; }
    // The next event within the time; 0 when none came (or the stream ended).
    int Next(StreamEvent& event, int milliseconds = 10000);
    // 1 when the server closes the stream within the time.
    int WaitClosed(int milliseconds);
    void Close();

  private:
    int Fill(int milliseconds);
    zamri::SocketHandle socket_ = zamri::kInvalidSocket;
    std::string buffer_;
    int status_ = 0;
    bool ended_ = false;
};

// The value of a number field in a flat JSON object ("seq" in {"seq":12,...}); -1 when absent.
long long JsonNumber(const std::string& json, const std::string& name);
// The value of a string field, unescaped for the simple escapes; empty when absent.
std::string JsonText(const std::string& json, const std::string& name);

}  // namespace testing_support
