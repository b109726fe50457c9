#include "alert/webhook_dispatcher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "alert/alert_queue.h"
#include "alert/http_post.h"

namespace zamri {

namespace {

class HttpWebhookSender : public WebhookSender {
  public:
    HttpWebhookSender(const WebhookConfig& hook, int timeoutMilliseconds)
        : hook(hook), poster(HttpPostOptions{timeoutMilliseconds, hook.caFile}) {}

    int Send(const std::string& body, int64_t unixSeconds, std::string* error) override {
        HttpPostResult result;
        if (poster.Post(hook.url, WebhookHeaders(hook.secret, unixSeconds, body), body, &result))
            return 1;
        *error = result.error;
        return 0;
    }
    void Cancel() override { poster.Cancel(); }

  private:
    const WebhookConfig hook;
    HttpPoster poster;
};

}  // namespace

std::unique_ptr<WebhookSender> MakeHttpWebhookSender(const WebhookConfig& hook, int timeoutMilliseconds) {
    return std::unique_ptr<WebhookSender>(new HttpWebhookSender(hook, timeoutMilliseconds));
}

struct WebhookDispatcher::Hook {
    Hook(const WebhookConfig& config, const WebhookDispatcherOptions& options,
         std::unique_ptr<WebhookSender> s)
        : config(config),
          sender(std::move(s)),
          queue(options.queueCapacity),
          outbox(options.outboxCapacity, options.timing) {}

    const WebhookConfig config;
    std::unique_ptr<WebhookSender> sender;
    AlertQueue<std::shared_ptr<const std::string>> queue;  // null: a wake-up, no event
    WebhookOutbox outbox;
    std::atomic<uint64_t> accepted{0};   // events queued for this hook
    std::atomic<uint64_t> queueFull{0};  // events dropped because the queue was full
    std::atomic<bool> cancel{false};
    std::thread thread;

    // Once the queue is closed, the thread waits here for its next attempt.
    std::mutex lock;
    std::condition_variable wake;
    bool ended = false;
    std::condition_variable endedSignal;
};

WebhookDispatcher::WebhookDispatcher(std::vector<WebhookConfig> configs,
                                     const WebhookDispatcherOptions& options, const AlertClock& clock,
                                     SenderFactory sender)
    : options(options), clock(clock) {
    for (const WebhookConfig& config : configs) {
        std::unique_ptr<WebhookSender> s =
            sender ? sender(config) : MakeHttpWebhookSender(config, options.timeoutMilliseconds);
        hooks.emplace_back(new Hook(config, options, std::move(s)));
        wanted |= config.events;
    }
}

WebhookDispatcher::~WebhookDispatcher() {
    Stop(0);
}

int WebhookDispatcher::Start() {
    int started = 1;
    for (auto& hook : hooks) {
        if (hook->thread.joinable())
            continue;
        try {
            hook->thread = std::thread(&WebhookDispatcher::Run, this, std::ref(*hook));
        } catch (const std::system_error&) {
            started = 0;
        }
    }
    return started;
}

int WebhookDispatcher::Post(AlertEvent event, std::string_view record) {
    if (!Wanted(event))
        return 0;
    auto body = std::make_shared<std::string>();
    if (!BuildWebhookBody(event, options.storeName, record, body.get()))
        return -1;
    std::shared_ptr<const std::string> shared = std::move(body);
    int queued = 0;
    for (auto& hook : hooks) {
        if (!hook->config.Takes(event))
            continue;
        // Counted first, so that an event is never between the counts while it is queued.
        hook->accepted.fetch_add(1);
        if (hook->queue.Push(shared)) {
            ++queued;
        } else {
            hook->accepted.fetch_sub(1);
            hook->queueFull.fetch_add(1);
        }
    }
    return queued;
}

void WebhookDispatcher::Run(Hook& hook) {
    WebhookOutbox::Send send = [&](const std::string& body, std::string* error) {
        return hook.sender->Send(body, clock.UtcMilliseconds() / 1000, error);
    };
    bool closed = false;
    for (;;) {
        int64_t next = hook.outbox.Work(clock, send, &hook.cancel);
        if (hook.cancel || (closed && hook.outbox.Empty()))
            break;
        int wait = -1;
        if (next != WebhookOutbox::kNever)
            wait =
                static_cast<int>(std::clamp<int64_t>(next - clock.SteadyMilliseconds(), 0, 60 * 60 * 1000));
        if (closed) {
            std::unique_lock<std::mutex> guard(hook.lock);
            hook.wake.wait_for(guard, std::chrono::milliseconds(wait), [&] { return hook.cancel.load(); });
            continue;
        }
        std::shared_ptr<const std::string> body;
        auto popped = hook.queue.Pop(&body, wait);
        // What has arrived meanwhile joins the outbox in one go, before the next attempt.
        while (popped == AlertQueue<std::shared_ptr<const std::string>>::Popped::kItem) {
            if (body)
                hook.outbox.Add(std::move(body), clock.SteadyMilliseconds());
            popped = hook.queue.Pop(&body, 0);
        }
        if (popped == AlertQueue<std::shared_ptr<const std::string>>::Popped::kEnded)
            closed = true;
    }
    std::shared_ptr<const std::string> body;
    uint64_t left = 0;
    hook.queue.Close();
    while (hook.queue.Pop(&body, 0) == AlertQueue<std::shared_ptr<const std::string>>::Popped::kItem)
        left += body ? 1 : 0;
    hook.outbox.CountDropped(left);
    hook.outbox.DropAll();
    std::lock_guard<std::mutex> guard(hook.lock);
    hook.ended = true;
    hook.endedSignal.notify_all();
}

void WebhookDispatcher::Stop(int finishMilliseconds) {
    for (auto& hook : hooks)
        hook->queue.Close();
    auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(finishMilliseconds, 0));
    for (auto& hook : hooks) {
        if (!hook->thread.joinable())
            continue;
        std::unique_lock<std::mutex> guard(hook->lock);
        hook->endedSignal.wait_until(guard, until, [&] { return hook->ended; });
    }
    for (auto& hook : hooks) {
        if (!hook->thread.joinable())
            continue;
        {
            std::lock_guard<std::mutex> guard(hook->lock);
            hook->cancel = true;
        }
        hook->wake.notify_all();
        hook->sender->Cancel();
        hook->thread.join();
    }
    // Hooks whose thread never ran still count what was queued for them.
    for (auto& hook : hooks) {
        std::shared_ptr<const std::string> body;
        uint64_t left = 0;
        while (hook->queue.Pop(&body, 0) == AlertQueue<std::shared_ptr<const std::string>>::Popped::kItem)
            left += body ? 1 : 0;
        hook->outbox.CountDropped(left);
        hook->outbox.DropAll();
    }
}

void WebhookDispatcher::Wake() {
    for (auto& hook : hooks) {
        hook->queue.Push(nullptr);
        std::lock_guard<std::mutex> guard(hook->lock);
        hook->wake.notify_all();
    }
}

std::vector<WebhookStatus> WebhookDispatcher::Status() const {
    std::vector<WebhookStatus> list;
    for (const auto& hook : hooks) {
        WebhookStatus status;
        status.number = hook->config.number;
        status.url = hook->config.url.text;
        // What was queued and has been neither delivered nor dropped is waiting, wherever it is
        // (in the queue, in the outbox, or on its way between them).
        uint64_t accepted = hook->accepted.load();
        status.counts = hook->outbox.Counts();
        uint64_t done = status.counts.sent + status.counts.dropped;
        status.counts.waiting = accepted > done ? static_cast<size_t>(accepted - done) : 0;
        status.counts.dropped += hook->queueFull.load();
        list.push_back(status);
    }
    return list;
}

std::string WebhookDispatcher::Summary() const {
    std::string text;
    for (const WebhookStatus& s : Status()) {
        const WebhookCounts& c = s.counts;
        text += "Webhook " + std::to_string(s.number) + " (" + s.url + "): " + std::to_string(c.sent) +
                " sent, " + std::to_string(c.failed) +
                (c.failed == 1 ? " failed attempt, " : " failed attempts, ") + std::to_string(c.dropped) +
                " dropped";
        if (!c.lastError.empty())
            text += "; last error: " + c.lastError;
        text += "\n";
    }
    return text;
}

}  // namespace zamri
