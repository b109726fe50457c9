// Outgoing HTTP and HTTPS POST requests, for webhooks: libcurl on Linux (http_post_posix.cpp,
// which loads libcurl.so.4 at the first poster, so a program without webhooks never maps it),
// WinHTTP on Windows (http_post_win32.cpp). Both backends provide exactly this:
//   - a POST of the given headers and body to an HttpUrl, with no redirect followed (a 3xx
//     answer is a failure like any other status outside 2xx);
//   - TLS with the server's certificate and name checked, always; with caFile set, the
//     certificates in that PEM file are the only ones trusted (a store's own CA or a receiver's
//     self-signed certificate), otherwise the system's;
//   - every request ended after timeoutMilliseconds at the latest, and at once by Cancel;
//   - a failure told by its kind and a sentence that names the cause.
// One poster serves one thread at a time; it keeps its connection open between requests.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/http_url.h"

namespace zamri {

struct HttpPostOptions {
    HttpPostOptions(int timeout = 10000, std::string ca = std::string())
        : timeoutMilliseconds(timeout), caFile(std::move(ca)) {}
    int timeoutMilliseconds;
    std::string caFile;  // empty: the system's certificates
    // Linux: the libcurl file to load (empty: libcurl.so.4); when it cannot be loaded every
    // request fails with kSetup and says so. Not used on Windows.
    std::string library;
};

struct HttpHeader {
    std::string name;
    std::string value;
};

enum class HttpFailure {
    kNone,
    kHostNotFound,
    kRefused,  // nothing listens there, or the host cannot be reached
    kTimedOut,
    kTls,         // the handshake failed, or the certificate or its name is not trusted
    kConnection,  // the connection broke off, or another transport error
    kHttpStatus,  // the server answered with a status outside 2xx
    kCancelled,
    kSetup,  // the poster could not be set up (the CA file cannot be read, no memory)
};

struct HttpPostResult {
    int status = 0;  // the HTTP status, 0 when none came
    HttpFailure failure = HttpFailure::kNone;
    std::string error;  // empty on success: "connection refused by 127.0.0.1:8443", "HTTP 500", ...
};

class HttpPoster {
  public:
    explicit HttpPoster(const HttpPostOptions& options);
    ~HttpPoster();
    HttpPoster(const HttpPoster&) = delete;
    HttpPoster& operator=(const HttpPoster&) = delete;

    // 1 when the server answered with a 2xx status; 0 otherwise, with the cause in *result.
    int Post(const HttpUrl& url, const std::vector<HttpHeader>& headers, std::string_view body,
             HttpPostResult* result);

    // Any thread: the request running now ends at once (kCancelled), and so does every later
    // one. For a program that stops.
    void Cancel();

    struct Backend;

  private:
    std::unique_ptr<Backend> backend;
};

// "connection refused" and the like, for a failure's kind.
const char* HttpFailureName(HttpFailure failure);

}  // namespace zamri
