#include "app/trouble_reporter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/os.h"

namespace zamri {

struct TroubleReporter::Shared {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::string> queue;
    bool stopping = false;
    bool finished = false;
};

namespace {

void ShowLoop(std::shared_ptr<TroubleReporter::Shared> shared) {
    std::unique_lock<std::mutex> guard(shared->lock);
    for (;;) {
        shared->wake.wait(guard, [&] { return !shared->queue.empty() || shared->stopping; });
        if (shared->queue.empty())
            break;
        std::string message = std::move(shared->queue.front());
        shared->queue.pop_front();
        guard.unlock();
        ShowMessage(message.c_str(), "zamri", kMsgOk | kMsgIconWarning);
        guard.lock();
    }
    shared->finished = true;
    shared->wake.notify_all();
}

}  // namespace

TroubleReporter::TroubleReporter() : shared(std::make_shared<Shared>()) {
    std::thread(ShowLoop, shared).detach();
}

TroubleReporter::~TroubleReporter() {
    std::unique_lock<std::mutex> guard(shared->lock);
    shared->stopping = true;
    shared->wake.notify_all();
    shared->wake.wait_for(guard, std::chrono::seconds(1), [&] { return shared->finished; });
}

void TroubleReporter::Report(const std::string& message) {
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->queue.push_back(message);
    }
    shared->wake.notify_all();
}

}  // namespace zamri
