// Gives the delivery step's receipt readers their time: about once a second it hands on the
// receipts that waited long enough for a drawer, then runs the owner's other once-a-second work
// (the feed-health watch). Its own thread holds nothing that capture needs beyond a camera's
// reader for the moment of the call.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class LineDelivery;

namespace zamri {

class ReceiptTicker {
  public:
    static constexpr int kTickMilliseconds = 1000;

    // delivery must outlive this object.
    explicit ReceiptTicker(LineDelivery& delivery) : delivery(delivery) {}
    ~ReceiptTicker() { Stop(); }
    ReceiptTicker(const ReceiptTicker&) = delete;
    ReceiptTicker& operator=(const ReceiptTicker&) = delete;

    // Called on the ticker's thread after each tick of the readers; set before Start.
    void SetAlso(std::function<void()> work) { also = std::move(work); }
    // Starts the thread (again after a Stop); a second call while it runs does nothing.
    void Start();
    // Ends the thread at once, without a last tick. Safe to call more than once.
    void Stop();

  private:
    void Run();

    LineDelivery& delivery;
    std::function<void()> also;
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};

}  // namespace zamri
