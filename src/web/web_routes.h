// What each address of the web page answers, apart from the sockets: the server hands every
// request here and sends back what comes out (or, for the live stream, starts streaming).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zamri {

struct WebRequest {
    std::string method;  // "GET", ...
    std::string target;  // path and query, as sent
    std::string authorization;
    std::string lastEventId;  // sent by a browser that reconnects to the live stream
    std::string host;         // the Host header ("recorder:8080"); empty when missing or twice
    std::string peer;         // the browser's address ("192.168.1.31")
    std::string local;        // the page's address that the browser reached ("192.168.1.20")
};

struct WebResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::string allow;          // for 405
    std::string attachment;     // a download's file name (letters, digits, '-' and '.' only)
    bool askPassword = false;   // 401: ask the browser for the password
    int retryAfterSeconds = 0;  // 429: when to ask again
    bool liveStream = false;    // stream lines from liveFrom on instead of a body
    uint64_t liveFrom = 0;
    // Work too long for the server's own thread (a search): the server runs it on a worker
    // and sends what it returns instead of this response.
    std::function<WebResponse()> later;
};

// A search as the form sends it. Times are the program's local time.
struct SearchQuery {
    std::string text;  // empty: any line
    int camera = 0;    // 0: every camera
    std::string from;  // "YYYY-MM-DDTHH:MM[:SS]" or empty (open); checked by the routes
    std::string to;
    int page = 1;  // 1 = the newest receipts
};

constexpr int kSearchPageSize = 20;

struct WebEventFilter;
struct WebSubtitleQuery;

// What the routes ask of the running program.
class WebSite {
  public:
    virtual ~WebSite() = default;
    virtual std::string StatusJson() = 0;
    // {"results":[...],"page":N,"more":true|false}; or 0 with a reason for the user.
    virtual int SearchJson(const SearchQuery& query, std::string& json, std::string& error) = 0;
    // The number a new live stream starts from when the browser names none.
    virtual uint64_t LiveStart() = 0;
    // The Exceptions view, its report, a receipt found again and the subtitles (web_events.h,
    // web_subtitles.h): 1 with the answer, or 0 with a reason for the user. A site without a
    // journal has none of them.
    virtual int ExceptionsJson(const WebEventFilter& filter, std::string& json, std::string& error);
    virtual int ReportAnswer(const WebEventFilter& filter, bool csv, std::string& body, std::string& error);
    virtual int ReceiptJson(int camera, int64_t receipt, const std::string& at, std::string& json,
                            std::string& error);
    virtual int SubtitlesText(const WebSubtitleQuery& query, std::string& text, std::string& error);
    // The rules in force (web_rules.h).
    virtual std::string RulesJson();
};

// The page, the status, the search and the live stream; 400 with a JSON error for a bad query,
// 404 and 405 for the rest. Only for requests that the gate (web_gate.h) has let through.
WebResponse RouteRequest(const WebRequest& request, WebSite& site);

// {"error":"message"} with the status.
WebResponse JsonError(int status, const std::string& message);

// The embedded page (HTML with its CSS and script).
const char* WebPageHtml();

}  // namespace zamri
