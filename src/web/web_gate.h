// What every request passes before any route: the name it was sent to and, when the page has a
// password, the password. A request under a name the page does not go by is refused, because a
// site elsewhere whose name has been pointed at this PC (DNS rebinding) would otherwise read
// the page through the browsers of the store. Wrong passwords from one address are slowed down:
// a few are answered at once, then the address waits before its next one is looked at, twice as
// long after each further wrong one.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "config/host_names.h"
#include "web/web_routes.h"

namespace zamri {

// The same wrong password again is not another guess (a page still open with an old one would
// lock its user out); an Authorization header longer than this is a new guess every time.
constexpr size_t kLongestRememberedGuess = 512;

struct WebGateLimits {
    int freeGuesses = 5;        // wrong passwords in a row answered without a wait
    int firstWaitMs = 1000;     // the wait after them, doubled after each further wrong one,
    int longestWaitMs = 60000;  // up to this
    int forgetMs = 10 * 60000;  // an address without a wrong password for this long starts afresh
    size_t addresses = 1024;    // addresses remembered at most; the stalest go first
};

// 1 when a Host header value names this page: "localhost", the address that the connection
// came in on (localAddress, as the server writes it: "192.168.1.20", "::1"), or one of names.
// Without regard to case; a port after the name and a dot at its end do not count.
int HostIsServed(const std::string& host, const std::string& localAddress,
                 const std::vector<std::string>& names);

class WebGate {
  public:
    WebGate(std::string password, std::vector<std::string> hostNames, WebGateLimits limits = WebGateLimits());

    // 1 when the request may be answered; otherwise 0 and *refusal is the answer: 400 without a
    // Host, 421 under another name, 401 without the right password, 429 while its address
    // waits (the password is then not looked at). nowMs: any steady clock in milliseconds.
    int Admit(const WebRequest& request, int64_t nowMs, WebResponse* refusal);

    // Since start: requests refused for their name, wrong passwords, and requests turned away
    // while their address waited.
    uint64_t RefusedNames() const;
    uint64_t WrongPasswords() const;
    uint64_t HeldBack() const;

  private:
    struct Guesses {
        int wrong = 0;
        int64_t lastWrongMs = 0;
        int64_t waitUntilMs = 0;
        std::string lastGuess;  // the Authorization header of the last wrong one
    };
    int CheckPassword(const WebRequest& request, int64_t nowMs, WebResponse* refusal);
    void MakeRoom(int64_t nowMs);

    const std::string password_;
    const std::vector<std::string> hostNames_;
    const WebGateLimits limits_;
    mutable std::mutex lock_;
    std::map<std::string, Guesses> byAddress_;  // under lock_
    uint64_t refusedNames_ = 0;                 // the counts too
    uint64_t wrongPasswords_ = 0;
    uint64_t heldBack_ = 0;
};

// The gate, then the routes (RouteRequest), at the steady clock's time.
WebResponse AnswerRequest(const WebRequest& request, WebSite& site, WebGate& gate);

}  // namespace zamri
