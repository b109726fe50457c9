// The gate before the routes: the names the page answers to, and wrong passwords slowed down
// per address (on a clock of the test's own).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/web_gate.h"

namespace zamri {
namespace {

const char kRight[] = "Basic YW55OnMzY3JldA==";  // any:s3cret

WebRequest From(const std::string& peer, const std::string& authorization = "",
                const std::string& host = "127.0.0.1:8080") {
    WebRequest request;
    request.method = "GET";
    request.target = "/api/status";
    request.authorization = authorization;
    request.host = host;
    request.peer = peer;
    request.local = "127.0.0.1";
    return request;
}

// A wrong password of its own for every n.
std::string Guess(int n) {
    return "Basic " + std::string(n % 2 == 0 ? "YW55Og==" : "YW55OmE=") + std::string(n / 2, ' ');
}

int StatusOf(WebGate& gate, const WebRequest& request, int64_t now) {
    WebResponse refusal;
    return gate.Admit(request, now, &refusal) ? 200 : refusal.status;
}

TEST(WebGate, AnswersOnlyToItsOwnNames) {
    std::vector<std::string> names;
    std::string bad;
    ASSERT_TRUE(ParseHostNames("recorder, Recorder.Store.LAN.  [FE80::1]", &names, &bad));
    EXPECT_EQ(names, (std::vector<std::string>{"recorder", "recorder.store.lan", "fe80::1"}));
    for (const char* wrong : {"http://recorder", "recorder:8080", "a/b", "K\xC3\xA4se", "fe80::1g"}) {
        EXPECT_FALSE(ParseHostNames(std::string("ok ") + wrong, &names, &bad)) << wrong;
        EXPECT_EQ(bad, wrong);
    }

    ASSERT_TRUE(ParseHostNames("recorder.store.lan fe80::1", &names, &bad));
    for (const char* served : {"127.0.0.1", "127.0.0.1:8080", "localhost:8080", "LOCALHOST.",
                               "Recorder.Store.Lan:80", "recorder.store.lan.", "[fe80::1]:8080"})
        EXPECT_TRUE(HostIsServed(served, "127.0.0.1", names)) << served;
    for (const char* refused :
         {"", "evil.example.com", "127.0.0.1.evil.example.com", "recorder", "192.168.1.20", "localhost:80x",
          "localhost@evil.example.com", "[::1]", "::1", "evil.example.com#localhost"})
        EXPECT_FALSE(HostIsServed(refused, "127.0.0.1", names)) << refused;
    // On a page that listens on every address, the address that the browser reached it by.
    EXPECT_TRUE(HostIsServed("192.168.1.20:8080", "192.168.1.20", {}));
    EXPECT_TRUE(HostIsServed("[::1]:8080", "::1", {}));

    WebGate gate("", {"recorder"});
    WebResponse refusal;
    EXPECT_FALSE(gate.Admit(From("10.0.0.9", "", "evil.example.com"), 0, &refusal));
    EXPECT_EQ(refusal.status, 421);
    EXPECT_EQ(refusal.body.compare(0, 10, "{\"error\":\""), 0);
    EXPECT_EQ(StatusOf(gate, From("10.0.0.9", "", ""), 0), 400);
    EXPECT_EQ(StatusOf(gate, From("10.0.0.9", "", "recorder:8080"), 0), 200);
    EXPECT_EQ(gate.RefusedNames(), 2u);
}

TEST(WebGate, WrongPasswordsFromOneAddressAreSlowedDown) {
    WebGateLimits limits;  // 5 free, then 1 s, doubling up to 60 s; forgotten after 10 minutes
    limits.addresses = 4;
    WebGate gate("s3cret", {}, limits);
    const std::string attacker = "10.0.0.66";
    int64_t now = 1000000;

    // Asking without a password is no guess; the first five wrong ones are answered at once.
    WebResponse refusal;
    EXPECT_FALSE(gate.Admit(From(attacker), now, &refusal));
    EXPECT_EQ(refusal.status, 401);
    EXPECT_TRUE(refusal.askPassword);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(StatusOf(gate, From(attacker, Guess(i)), now), 401) << i;
    // Then the address waits, and even the right password is not looked at meanwhile.
    EXPECT_FALSE(gate.Admit(From(attacker, kRight), now + 10, &refusal));
    EXPECT_EQ(refusal.status, 429);
    EXPECT_EQ(refusal.retryAfterSeconds, 1);
    // Other addresses are not held up, and a flood of single guesses from many of them does
    // not make the gate forget the one that waits.
    EXPECT_EQ(StatusOf(gate, From("10.0.0.7", kRight), now), 200);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(StatusOf(gate, From("10.1.0." + std::to_string(i), Guess(0)), now + 20), 401);
    EXPECT_EQ(StatusOf(gate, From(attacker, kRight), now + 999), 429);

    // Each further wrong one doubles the wait, up to a minute.
    now += 1000;
    int64_t expected[] = {2000, 4000, 8000, 16000, 32000, 60000, 60000};
    int next = 10;
    for (int64_t wait : expected) {
        EXPECT_EQ(StatusOf(gate, From(attacker, Guess(next++)), now), 401);
        EXPECT_EQ(StatusOf(gate, From(attacker, kRight), now + wait - 1), 429) << wait;
        now += wait;
    }
    // The right password lets it in and clears its count.
    EXPECT_EQ(StatusOf(gate, From(attacker, kRight), now), 200);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(StatusOf(gate, From(attacker, Guess(i)), now), 401);
    EXPECT_EQ(StatusOf(gate, From(attacker, kRight), now), 200);

    // A page that keeps sending one old password is not guessing; a quiet address starts afresh.
    const std::string oldTab = "10.0.0.8";
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(StatusOf(gate, From(oldTab, Guess(1)), now + i * 2000), 401) << i;
    const std::string patient = "10.0.0.9";
    for (int i = 0; i < 4; ++i)
        StatusOf(gate, From(patient, Guess(i)), now);
    now += limits.forgetMs;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(StatusOf(gate, From(patient, Guess(i + 4)), now), 401);
    EXPECT_EQ(StatusOf(gate, From(patient, kRight), now), 200);
    EXPECT_GT(gate.WrongPasswords(), 60u);
    EXPECT_GE(gate.HeldBack(), 9u);
}

}  // namespace
}  // namespace zamri
