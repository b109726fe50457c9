// The bounded queue and worker under every sink with a slow consumer.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "delivery/queued_sink.h"

namespace {

// Consumes into a list; a closed gate holds the worker inside Consume.
class GatedSink : public QueuedSink {
  public:
    explicit GatedSink(int capacity) : QueuedSink("gated", capacity) {}
    ~GatedSink() override { Stop(); }

    void Open() {
        {
            std::lock_guard<std::mutex> guard(lock);
            open = true;
        }
        changed.notify_all();
    }
    bool WaitInConsume() {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10), [this] { return inConsume; });
    }
    std::vector<std::string> Texts() {
        std::lock_guard<std::mutex> guard(lock);
        return texts;
    }
    int idles = 0;

  protected:
    void Consume(const DeliveredLine& line) override {
        std::unique_lock<std::mutex> guard(lock);
        inConsume = true;
        changed.notify_all();
        changed.wait(guard, [this] { return open; });
        texts.push_back(line.text);
    }
    void Idle() override {
        std::lock_guard<std::mutex> guard(lock);
        ++idles;
    }

  private:
    std::mutex lock;
    std::condition_variable changed;
    bool open = false;
    bool inConsume = false;
    std::vector<std::string> texts;
};

DeliveredLine Line(int i) {
    DeliveredLine line;
    line.text = "line " + std::to_string(i);
    return line;
}

TEST(QueuedSink, AFullQueueDropsAndCountsWithoutHoldingTheCallerAndKeepsTheOrder) {
    GatedSink sink(4);
    ASSERT_EQ(sink.Start(), 1);
    EXPECT_EQ(sink.Start(), 0);
    sink.Accept(Line(0));
    ASSERT_TRUE(sink.WaitInConsume());
    // The line being consumed still holds its slot: three more fit, the rest are dropped.
    for (int i = 1; i < 10; ++i)
        sink.Accept(Line(i));
    EXPECT_EQ(sink.QueuedCount(), 4);
    EXPECT_EQ(sink.DroppedLines(), 6u);
    EXPECT_EQ(sink.AcceptedLines(), 4u);
    sink.Open();
    sink.Stop();
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"line 0", "line 1", "line 2", "line 3"}));
    EXPECT_EQ(sink.ConsumedLines(), 4u);
    EXPECT_GE(sink.idles, 1);
    // After a stop every line is dropped and counted; a second stop changes nothing.
    sink.Accept(Line(10));
    sink.Stop();
    EXPECT_EQ(sink.DroppedLines(), 7u);
    EXPECT_STREQ(sink.SinkName(), "gated");
}

TEST(QueuedSink, LinesAcceptedBeforeStartAreConsumedAndAStopFinishesTheQueue) {
    GatedSink sink(100);
    sink.Open();
    for (int i = 0; i < 100; ++i)
        sink.Accept(Line(i));
    ASSERT_EQ(sink.Start(), 1);
    sink.Stop(10000);
    EXPECT_EQ(sink.Texts().size(), 100u);
    EXPECT_EQ(sink.Texts().back(), "line 99");
    EXPECT_EQ(sink.DroppedLines(), 0u);
}

TEST(QueuedSink, ANeverStartedSinkCountsWhatItHeldAsDroppedAtStop) {
    GatedSink sink(8);
    sink.Accept(Line(0));
    sink.Accept(Line(1));
    sink.Stop();
    EXPECT_EQ(sink.DroppedLines(), 2u);
    EXPECT_EQ(sink.Start(), 0);
}

}  // namespace
