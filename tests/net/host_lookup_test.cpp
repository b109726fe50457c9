// Name lookups aside: the owner is never held by a lookup that does not end, and each answer
// is given once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "net/host_lookup.h"
#include "support/wait.h"

namespace {

using testing_support::WaitUntil;

std::atomic<bool> release{false};
std::atomic<int> calls{0};
std::atomic<int> finished{0};

// Stands for name servers that do not answer until released; "bad" names do not resolve.
int HeldLookUp(const char* host, char* address, int size) {
    ++calls;
    while (!release.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int found = std::strcmp(host, "bad") != 0;
    if (found)
        std::snprintf(address, static_cast<size_t>(size), "10.0.0.%zu", std::strlen(host));
    ++finished;
    return found;
}

TEST(HostLookup, NeverHoldsItsOwnerAndAnswersOnce) {
    release = false;
    calls = finished = 0;
    char address[zamri::kAddressTextSize] = "unchanged";
    {
        zamri::HostLookup abandoned(HeldLookUp);
        ASSERT_EQ(abandoned.Start("printer"), 1);
        EXPECT_EQ(abandoned.Take(address, sizeof address), 0);  // still looking
    }                                                           // gone while its lookup hangs

    zamri::HostLookup lookup(HeldLookUp);
    ASSERT_EQ(lookup.Start("till"), 1);
    ASSERT_EQ(lookup.Start("other"), 1);  // joins the running one
    ASSERT_TRUE(WaitUntil([] { return calls.load() == 2; }));
    EXPECT_TRUE(lookup.Pending());
    EXPECT_STREQ(address, "unchanged");
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return lookup.Take(address, sizeof address) != 0; }));
    EXPECT_STREQ(address, "10.0.0.4");
    EXPECT_FALSE(lookup.Pending());
    EXPECT_EQ(lookup.Take(address, sizeof address), 0);

    ASSERT_EQ(lookup.Start("bad"), 1);
    int answer = 0;
    ASSERT_TRUE(WaitUntil([&] { return (answer = lookup.Take(address, sizeof address)) != 0; }));
    EXPECT_EQ(answer, -1);
    EXPECT_STREQ(address, "10.0.0.4");
    EXPECT_EQ(calls.load(), 3);
    ASSERT_TRUE(WaitUntil([] { return finished.load() == 3; }));  // the abandoned one ended too
}

}  // namespace
