#include "program/receipt_ticker.h"

#include <chrono>

#include "delivery/line_delivery.h"

namespace zamri {

void ReceiptTicker::Start() {
    std::lock_guard<std::mutex> guard(lock);
    if (thread.joinable())
        return;
    stopping = false;
    thread = std::thread([this] { Run(); });
}

void ReceiptTicker::Stop() {
    std::thread ending;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        ending = std::move(thread);
    }
    wake.notify_all();
    if (ending.joinable())
        ending.join();
}

void ReceiptTicker::Run() {
    std::unique_lock<std::mutex> guard(lock);
    while (!stopping) {
        if (wake.wait_for(guard, std::chrono::milliseconds(kTickMilliseconds), [this] { return stopping; }))
            break;
        // Not under the lock: a Stop meanwhile waits only for this one tick.
        guard.unlock();
        delivery.Tick();
        if (also)
            also();
        guard.lock();
    }
}

}  // namespace zamri
