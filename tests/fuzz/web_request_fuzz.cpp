// Fuzz target: any bytes as a request to the web page, read by the server's own parser and
// answered by the gate and the routes, and the same bytes as a query string. Properties, not
// only crashes: every answer is one the page gives (its statuses, errors as {"error":...}), the
// gate lets nothing in under a wrong name or without the password, a right request is let in,
// and a query that parses rebuilds into the same pairs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "web/http_server.h"
#include "web/web_gate.h"
#include "web/web_routes.h"
#include "web/web_text.h"

namespace {

using namespace zamri;

void Require(bool condition) {
    if (!condition)
        std::abort();
}

class Site : public WebSite {
  public:
    std::string StatusJson() override { return "{\"version\":\"fuzz\"}"; }
    int SearchJson(const SearchQuery& query, std::string& json, std::string& error) override {
        // Only checked queries come this far.
        Require(query.camera >= 0 && query.camera <= 32 && query.page >= 1 && query.text.size() <= 200);
        if (query.text == "busy") {
            error = "busy";
            return 0;
        }
        json = "{\"results\":[],\"page\":1,\"more\":false}";
        return 1;
    }
    uint64_t LiveStart() override { return 7; }
};

bool IsJsonError(const WebResponse& response) {
    const std::string& body = response.body;
    return body.compare(0, 10, "{\"error\":\"") == 0 && body.size() >= 12 &&
           body.compare(body.size() - 2, 2, "\"}") == 0;
}

std::string Encode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || c == '.' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

void CheckQuery(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!ParseQuery(text, pairs))
        return;
    std::string rebuilt;
    for (const auto& pair : pairs) {
        Require(pair.first.find('\0') == std::string::npos && pair.second.find('\0') == std::string::npos);
        rebuilt += (rebuilt.empty() ? "" : "&") + Encode(pair.first) + "=" + Encode(pair.second);
    }
    std::vector<std::pair<std::string, std::string>> again;
    Require(ParseQuery(rebuilt, again) == 1);
    // A bare "flag" reads as ("flag", ""), the same as "flag=".
    Require(again == pairs);
}

void CheckAnswer(const WebRequest& request, Site& site) {
    WebResponse answer = RouteRequest(request, site);
    switch (answer.status) {
        case 200:
            Require(!answer.later || answer.body.empty());
            break;
        case 400:
        case 404:
        case 405:
            Require(IsJsonError(answer) && !answer.liveStream && !answer.later);
            break;
        default:
            Require(false);
    }
    if (answer.liveStream)
        Require(request.target.compare(0, 9, "/api/live") == 0);
    if (answer.later) {
        WebResponse later = answer.later();
        Require((later.status == 200 && later.body.compare(0, 11, "{\"results\":") == 0) ||
                (later.status == 503 && IsJsonError(later)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckQuery(bytes.substr(0, 4096));

    WebRequest request;
    int parsed = ParseWebRequest(bytes, &request);
    Require(parsed >= -1 && parsed <= 1);
    if (parsed != 1)
        return 0;
    request.peer = "10.0.0." + std::to_string(size % 3);
    request.local = "127.0.0.1";
    size_t mark = request.target.find('?');
    if (mark != std::string::npos)
        CheckQuery(request.target.substr(mark + 1));

    Site site;
    const std::vector<std::string> names = {"recorder.test"};
    const bool nameServed = HostIsServed(request.host, request.local, names) == 1;
    const bool passwordRight = BasicPasswordMatches(request.authorization, "s3cret") == 1;

    // Without a password only the name counts; then the route answers.
    WebGate open("", names);
    WebResponse refusal;
    int admitted = open.Admit(request, 0, &refusal);
    Require(admitted == (nameServed ? 1 : 0));
    if (!admitted)
        Require((refusal.status == 400 || refusal.status == 421) && IsJsonError(refusal));
    else
        CheckAnswer(request, site);

    // With one, asked again and again from the same address at the same moment: never let in
    // without it, let in with it until the address has to wait, then held back.
    WebGate guarded("s3cret", names);
    bool held = false;
    for (int i = 0; i < 8; ++i) {
        WebResponse answer;
        int in = guarded.Admit(request, 1000, &answer);
        Require(!in || (nameServed && passwordRight && !held));
        if (nameServed && passwordRight)
            Require(in == 1);
        if (!in) {
            Require(answer.status == 400 || answer.status == 421 || answer.status == 401 ||
                    answer.status == 429);
            Require(IsJsonError(answer));
            Require((answer.status == 429) == (answer.retryAfterSeconds > 0));
            held = held || answer.status == 429;
        }
    }
    // The same wrong password again is one guess, not eight: no wait.
    Require(!held || request.authorization.size() > kLongestRememberedGuess);
    return 0;
}
