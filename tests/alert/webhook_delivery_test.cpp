// Delivery to one hook with a clock the test moves: retries with growing back-off, the drop
// once the retry time is over, order kept behind a failing event, full queues counted; and the
// dispatcher, whose callers go on while every receiver hangs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alert/webhook_dispatcher.h"
#include "alert/webhook_outbox.h"
#include "fake_clock.h"

namespace {

using alert_testing::FakeClock;
using zamri::AlertEvent;
using zamri::WebhookOutbox;

std::shared_ptr<const std::string> Body(const std::string& text) {
    return std::make_shared<const std::string>(text);
}

// Records each attempt with its steady time; fails while failing is set.
struct Receiver {
    explicit Receiver(const FakeClock& clock) : clock(clock) {}
    const FakeClock& clock;
    bool failing = false;
    std::vector<std::pair<int64_t, std::string>> attempts;
    std::vector<std::string> delivered;

    WebhookOutbox::Send Send() {
        return [this](const std::string& body, std::string* error) {
            attempts.push_back({clock.SteadyMilliseconds(), body});
            if (failing) {
                *error = "HTTP 500 from http://h/";
                return 0;
            }
            delivered.push_back(body);
            return 1;
        };
    }
};

TEST(WebhookOutbox, RetriesWithGrowingBackoffThenDropsWhenTheRetryTimeIsOver) {
    FakeClock clock;
    zamri::RetryTiming timing{10000, 1000, 4000};
    WebhookOutbox outbox(8, timing);
    Receiver receiver(clock);
    receiver.failing = true;
    const int64_t t0 = clock.SteadyMilliseconds();

    outbox.Add(Body("a"), t0);
    int64_t next = outbox.Work(clock, receiver.Send());
    EXPECT_EQ(next, t0 + 1000);
    // Nothing is sent before it is due.
    clock.Advance(999);
    EXPECT_EQ(outbox.Work(clock, receiver.Send()), t0 + 1000);
    EXPECT_EQ(receiver.attempts.size(), 1u);
    // 1 s, 2 s, 4 s, then the ceiling of 4 s; the attempt at 7 s leaves no room for one at 11 s.
    std::vector<int64_t> expected = {t0, t0 + 1000, t0 + 3000, t0 + 7000};
    while (next != WebhookOutbox::kNever) {
        clock.Advance(next - clock.SteadyMilliseconds());
        next = outbox.Work(clock, receiver.Send());
    }
    ASSERT_EQ(receiver.attempts.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(receiver.attempts[i].first, expected[i]) << i;
    zamri::WebhookCounts counts = outbox.Counts();
    EXPECT_EQ(counts.sent, 0u);
    EXPECT_EQ(counts.failed, 4u);
    EXPECT_EQ(counts.dropped, 1u);
    EXPECT_EQ(counts.waiting, 0u);
    EXPECT_EQ(counts.lastError, "HTTP 500 from http://h/");
    EXPECT_EQ(counts.lastErrorUtcMilliseconds, clock.UtcMilliseconds());
}

TEST(WebhookOutbox, KeepsTheOrderBehindAFailingEventAndResetsTheBackoffOnceDelivered) {
    FakeClock clock;
    WebhookOutbox outbox(8, zamri::RetryTiming{60000, 1000, 60000});
    Receiver receiver(clock);
    receiver.failing = true;
    outbox.Add(Body("1"), clock.SteadyMilliseconds());
    outbox.Add(Body("2"), clock.SteadyMilliseconds());
    outbox.Add(Body("3"), clock.SteadyMilliseconds());
    int64_t next = outbox.Work(clock, receiver.Send());
    clock.Advance(next - clock.SteadyMilliseconds());
    next = outbox.Work(clock, receiver.Send());
    // One attempt per back-off step, all for the first event.
    ASSERT_EQ(receiver.attempts.size(), 2u);
    EXPECT_EQ(receiver.attempts[1].second, "1");

    receiver.failing = false;
    clock.Advance(next - clock.SteadyMilliseconds());
    EXPECT_EQ(outbox.Work(clock, receiver.Send()), WebhookOutbox::kNever);
    EXPECT_EQ(receiver.delivered, (std::vector<std::string>{"1", "2", "3"}));

    // The next failure waits the first step again.
    receiver.failing = true;
    outbox.Add(Body("4"), clock.SteadyMilliseconds());
    EXPECT_EQ(outbox.Work(clock, receiver.Send()), clock.SteadyMilliseconds() + 1000);
    EXPECT_EQ(outbox.Counts().sent, 3u);
    EXPECT_EQ(outbox.Counts().failed, 3u);
}

TEST(WebhookOutbox, EventsThatWaitedOutTheirRetryTimeGoWithoutAnAttemptAndAFullOutboxDrops) {
    FakeClock clock;
    WebhookOutbox outbox(3, zamri::RetryTiming{5000, 4000, 4000});
    Receiver receiver(clock);
    receiver.failing = true;
    outbox.Add(Body("old"), clock.SteadyMilliseconds());
    outbox.Work(clock, receiver.Send());
    clock.Advance(2000);
    outbox.Add(Body("newer"), clock.SteadyMilliseconds());
    EXPECT_TRUE(outbox.Add(Body("newest"), clock.SteadyMilliseconds()));
    EXPECT_FALSE(outbox.Add(Body("overflow"), clock.SteadyMilliseconds()));
    // At 4 s "old" fails again and has no time left; "newer" is tried at 8 s, "newest" has
    // expired by then too (queued at 2 s, retried until 7 s).
    clock.Advance(2000);
    outbox.Work(clock, receiver.Send());
    clock.Advance(4000);
    EXPECT_EQ(outbox.Work(clock, receiver.Send()), WebhookOutbox::kNever);
    std::vector<std::string> tried;
    for (const auto& a : receiver.attempts)
        tried.push_back(a.second);
    EXPECT_EQ(tried, (std::vector<std::string>{"old", "old"}));
    EXPECT_EQ(outbox.Counts().dropped, 4u);
}

TEST(WebhookOutbox, WithoutRetryTimeEachEventHasOneAttempt) {
    FakeClock clock;
    WebhookOutbox outbox(8, zamri::RetryTiming{0, 1000, 60000});
    Receiver receiver(clock);
    receiver.failing = true;
    for (const char* b : {"x", "y", "z"})
        outbox.Add(Body(b), clock.SteadyMilliseconds());
    EXPECT_EQ(outbox.Work(clock, receiver.Send()), WebhookOutbox::kNever);
    EXPECT_EQ(receiver.attempts.size(), 3u);
    EXPECT_EQ(outbox.Counts().dropped, 3u);
}

// A sender that blocks every attempt until the test opens the gate (or the dispatcher cancels).
class GatedSender : public zamri::WebhookSender {
  public:
    struct Shared {
        std::mutex lock;
        std::condition_variable changed;
        bool open = false;
        int inside = 0;
        std::vector<std::string> bodies;
        std::vector<int64_t> timestamps;
    };
    explicit GatedSender(std::shared_ptr<Shared> shared) : shared(std::move(shared)) {}

    int Send(const std::string& body, int64_t unixSeconds, std::string* error) override {
        std::unique_lock<std::mutex> guard(shared->lock);
        ++shared->inside;
        shared->changed.notify_all();
        shared->changed.wait(guard, [&] { return shared->open || cancelled; });
        --shared->inside;
        if (cancelled) {
            *error = "cancelled: the program is stopping";
            return 0;
        }
        shared->bodies.push_back(body);
        shared->timestamps.push_back(unixSeconds);
        return 1;
    }
    void Cancel() override {
        std::lock_guard<std::mutex> guard(shared->lock);
        cancelled = true;
        shared->changed.notify_all();
    }

  private:
    std::shared_ptr<Shared> shared;
    bool cancelled = false;
};

template <typename Condition>
bool WaitFor(std::mutex& lock, std::condition_variable& changed, Condition condition) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(30), condition);
}

zamri::WebhookConfig Hook(int number, unsigned events) {
    zamri::WebhookConfig hook;
    hook.number = number;
    hook.url.text = "http://receiver" + std::to_string(number) + "/";
    hook.secret = "k";
    hook.events = events;
    return hook;
}

const unsigned kExceptions = 1u << static_cast<int>(AlertEvent::kException);
const unsigned kDigests = 1u << static_cast<int>(AlertEvent::kDigest);

TEST(WebhookDispatcher, CallersGoOnWhileEveryReceiverHangsAndWhatDoesNotFitIsCounted) {
    FakeClock clock;
    auto shared = std::make_shared<GatedSender::Shared>();
    zamri::WebhookDispatcherOptions options;
    options.storeName = "Store 9";
    options.queueCapacity = 16;
    options.outboxCapacity = 32;
    zamri::WebhookDispatcher dispatcher(
        {Hook(1, kExceptions), Hook(2, kExceptions | kDigests)}, options, clock,
        [&](const zamri::WebhookConfig&) {
            return std::unique_ptr<zamri::WebhookSender>(new GatedSender(shared));
        });
    ASSERT_EQ(dispatcher.Start(), 1);
    EXPECT_EQ(dispatcher.Post(AlertEvent::kException, "{\"n\":0}"), 2);
    ASSERT_TRUE(WaitFor(shared->lock, shared->changed, [&] { return shared->inside == 2; }));

    // Both threads hang in a send: every post still returns, queued or counted as dropped.
    const int kPosts = 5000;
    int queued = 0;
    for (int i = 1; i <= kPosts; ++i)
        queued += dispatcher.Post(AlertEvent::kException, "{\"n\":" + std::to_string(i) + "}");
    EXPECT_EQ(dispatcher.Post(AlertEvent::kTransaction, "{}"), 0);  // no hook takes it
    EXPECT_EQ(dispatcher.Post(AlertEvent::kDigest, "not json"), -1);
    auto status = dispatcher.Status();
    ASSERT_EQ(status.size(), 2u);
    for (const auto& s : status)
        EXPECT_EQ(s.counts.waiting + s.counts.dropped, static_cast<uint64_t>(kPosts) + 1) << s.number;
    EXPECT_EQ(status[0].counts.waiting + status[1].counts.waiting, static_cast<uint64_t>(queued) + 2);
    EXPECT_LE(status[0].counts.waiting, options.queueCapacity + options.outboxCapacity);

    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->open = true;
        shared->changed.notify_all();
    }
    ASSERT_TRUE(WaitFor(shared->lock, shared->changed,
                        [&] { return shared->bodies.size() == static_cast<size_t>(queued) + 2; }));
    dispatcher.Stop(1000);
    // Each body names the store; each hook got its events in order.
    std::vector<std::string> first;
    for (const auto& b : shared->bodies)
        if (b.find("\"n\":0}") != std::string::npos)
            first.push_back(b);
    EXPECT_EQ(first,
              (std::vector<std::string>(2, "{\"event\":\"exception\",\"store\":\"Store 9\",\"n\":0}")));
    EXPECT_EQ(shared->timestamps.front(), clock.UtcMilliseconds() / 1000);
    std::string summary = dispatcher.Summary();
    EXPECT_NE(summary.find("Webhook 1 (http://receiver1/): "), std::string::npos) << summary;
    EXPECT_NE(summary.find(" sent, 0 failed attempts, "), std::string::npos) << summary;
}

TEST(WebhookDispatcher, StopCancelsASendThatHangsAndCountsWhatIsLeft) {
    FakeClock clock;
    auto shared = std::make_shared<GatedSender::Shared>();
    zamri::WebhookDispatcher dispatcher(
        {Hook(1, kExceptions)}, zamri::WebhookDispatcherOptions(), clock, [&](const zamri::WebhookConfig&) {
            return std::unique_ptr<zamri::WebhookSender>(new GatedSender(shared));
        });
    dispatcher.Start();
    for (int i = 0; i < 3; ++i)
        dispatcher.Post(AlertEvent::kException, "{}");
    ASSERT_TRUE(WaitFor(shared->lock, shared->changed, [&] { return shared->inside == 1; }));
    dispatcher.Stop(0);
    auto counts = dispatcher.Status()[0].counts;
    EXPECT_EQ(counts.sent, 0u);
    EXPECT_EQ(counts.dropped, 3u);
    EXPECT_EQ(counts.waiting, 0u);
    EXPECT_EQ(counts.lastError, "cancelled: the program is stopping");
    // Posts after the stop are dropped and counted too.
    EXPECT_EQ(dispatcher.Post(AlertEvent::kException, "{}"), 0);
    EXPECT_EQ(dispatcher.Status()[0].counts.dropped, 4u);
}

TEST(WebhookDispatcher, RetriesWhenTheClockSaysSo) {
    FakeClock clock;
    struct Flaky : zamri::WebhookSender {
        std::atomic<int>* calls;
        explicit Flaky(std::atomic<int>* c) : calls(c) {}
        int Send(const std::string&, int64_t, std::string* error) override {
            if (++*calls < 3) {
                *error = "connection refused by h:80";
                return 0;
            }
            return 1;
        }
        void Cancel() override {}
    };
    std::atomic<int> calls{0};
    zamri::WebhookDispatcherOptions options;
    options.timing = zamri::RetryTiming{600000, 1000, 60000};
    zamri::WebhookDispatcher dispatcher({Hook(1, kExceptions)}, options, clock,
                                        [&](const zamri::WebhookConfig&) {
                                            return std::unique_ptr<zamri::WebhookSender>(new Flaky(&calls));
                                        });
    dispatcher.Start();
    dispatcher.Post(AlertEvent::kException, "{}");
    auto counts = [&] { return dispatcher.Status()[0].counts; };
    // Bounded by time, not by turns: under load (and under wine) a short sleep lasts far longer.
    auto waitUntil = [&](auto condition) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!condition() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return condition();
    };
    ASSERT_TRUE(waitUntil([&] { return counts().failed == 1; }));
    // The first retry is a second away on the test's clock: moving it wakes the thread.
    clock.Advance(1000);
    dispatcher.Wake();
    ASSERT_TRUE(waitUntil([&] { return counts().failed == 2; }));
    clock.Advance(2000);
    dispatcher.Wake();
    ASSERT_TRUE(waitUntil([&] { return counts().sent == 1; }));
    EXPECT_EQ(calls.load(), 3);
    EXPECT_EQ(counts().lastError, "connection refused by h:80");
}

}  // namespace
