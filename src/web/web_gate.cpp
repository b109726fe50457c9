#include "web/web_gate.h"

#include <chrono>
#include <utility>

#include "web/web_text.h"

namespace zamri {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The name part of a Host value, lower case, without its port and final dot; "[::1]:80" gives
// "::1". Empty when the value is not of that form.
std::string NameOfHost(const std::string& host) {
    std::string name;
    size_t end = host.size();
    if (!host.empty() && host[0] == '[') {
        size_t close = host.find(']');
        if (close == std::string::npos)
            return "";
        name = host.substr(1, close - 1);
        end = close + 1;
    } else {
        end = host.find(':');
        name = host.substr(0, end);
        if (end == std::string::npos)
            end = host.size();
    }
    if (end < host.size()) {
        // Only a port may follow: ':' and digits.
        if (host[end] != ':')
            return "";
        for (size_t i = end + 1; i < host.size(); ++i)
            if (host[i] < '0' || host[i] > '9')
                return "";
    }
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    for (char& c : name) {
        c = Lower(c);
        if (!IsHostNameCharacter(c))
            return "";
    }
    return name;
}

}  // namespace

int HostIsServed(const std::string& host, const std::string& localAddress,
                 const std::vector<std::string>& names) {
    std::string name = NameOfHost(host);
    if (name.empty())
        return 0;
    if (name == "localhost" || name == localAddress)
        return 1;
    for (const std::string& allowed : names)
        if (name == allowed)
            return 1;
    return 0;
}

WebGate::WebGate(std::string password, std::vector<std::string> hostNames, WebGateLimits limits)
    : password_(std::move(password)), hostNames_(std::move(hostNames)), limits_(limits) {}

int WebGate::Admit(const WebRequest& request, int64_t nowMs, WebResponse* refusal) {
    if (request.host.empty()) {
        *refusal = JsonError(400, "the request names no host");
        std::lock_guard<std::mutex> guard(lock_);
        ++refusedNames_;
        return 0;
    }
    if (!HostIsServed(request.host, request.local, hostNames_)) {
        *refusal = JsonError(421,
                             "this page is not served under that name; the names it answers to are its "
                             "address, localhost and those of HttpHostNames in [Options]");
        std::lock_guard<std::mutex> guard(lock_);
        ++refusedNames_;
        return 0;
    }
    if (password_.empty())
        return 1;
    return CheckPassword(request, nowMs, refusal);
}

int WebGate::CheckPassword(const WebRequest& request, int64_t nowMs, WebResponse* refusal) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = byAddress_.find(request.peer);
    if (found != byAddress_.end() && nowMs >= found->second.waitUntilMs &&
        nowMs - found->second.lastWrongMs >= limits_.forgetMs) {
        byAddress_.erase(found);
        found = byAddress_.end();
    }
    if (found != byAddress_.end() && nowMs < found->second.waitUntilMs) {
        ++heldBack_;
        int64_t seconds = (found->second.waitUntilMs - nowMs + 999) / 1000;
        *refusal = JsonError(429, "too many wrong passwords from this address; try again in " +
                                      std::to_string(seconds) + (seconds == 1 ? " second" : " seconds"));
        refusal->retryAfterSeconds = static_cast<int>(seconds);
        return 0;
    }
    if (BasicPasswordMatches(request.authorization, password_)) {
        if (found != byAddress_.end())
            byAddress_.erase(found);
        return 1;
    }
    *refusal = JsonError(401, "password required");
    refusal->askPassword = true;
    if (request.authorization.empty())
        return 0;  // a browser's first request, before it asks its user
    ++wrongPasswords_;
    if (found != byAddress_.end() && found->second.lastGuess == request.authorization)
        return 0;  // a page that still sends an old password is not guessing
    if (found == byAddress_.end()) {
        MakeRoom(nowMs);
        found = byAddress_.emplace(request.peer, Guesses()).first;
    }
    Guesses& guesses = found->second;
    ++guesses.wrong;
    guesses.lastWrongMs = nowMs;
    guesses.lastGuess = request.authorization.size() <= kLongestRememberedGuess ? request.authorization : "";
    if (guesses.wrong >= limits_.freeGuesses) {
        int64_t wait = limits_.firstWaitMs;
        for (int i = limits_.freeGuesses; i < guesses.wrong && wait < limits_.longestWaitMs; ++i)
            wait *= 2;
        guesses.waitUntilMs = nowMs + (wait < limits_.longestWaitMs ? wait : limits_.longestWaitMs);
    }
    return 0;
}

// Called under lock_ before a new address is remembered.
void WebGate::MakeRoom(int64_t nowMs) {
    if (byAddress_.size() < limits_.addresses)
        return;
    for (auto it = byAddress_.begin(); it != byAddress_.end();) {
        bool over = nowMs >= it->second.waitUntilMs && nowMs - it->second.lastWrongMs >= limits_.forgetMs;
        it = over ? byAddress_.erase(it) : std::next(it);
    }
    // Then the stalest of those not waiting, so that a flood of single guesses from many
    // addresses cannot free one that waits; only when every one waits, the stalest of all.
    while (byAddress_.size() >= limits_.addresses) {
        auto stalest = byAddress_.end();
        for (int pass = 0; pass < 2 && stalest == byAddress_.end(); ++pass) {
            for (auto it = byAddress_.begin(); it != byAddress_.end(); ++it) {
                bool waiting = nowMs < it->second.waitUntilMs;
                if ((pass == 1 || !waiting) &&
                    (stalest == byAddress_.end() || it->second.lastWrongMs < stalest->second.lastWrongMs))
                    stalest = it;
            }
        }
        byAddress_.erase(stalest);
    }
}

uint64_t WebGate::RefusedNames() const {
    std::lock_guard<std::mutex> guard(lock_);
    return refusedNames_;
}

uint64_t WebGate::WrongPasswords() const {
    std::lock_guard<std::mutex> guard(lock_);
    return wrongPasswords_;
}

uint64_t WebGate::HeldBack() const {
    std::lock_guard<std::mutex> guard(lock_);
    return heldBack_;
}

WebResponse AnswerRequest(const WebRequest& request, WebSite& site, WebGate& gate) {
    int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
    WebResponse refusal;
    if (!gate.Admit(request, now, &refusal))
        return refusal;
    return RouteRequest(request, site);
}

}  // namespace zamri
