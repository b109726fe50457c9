#include "net/event_loop.h"

#include <utility>

namespace zamri {

void LoopHandler::OnDeadline(EventLoop& loop, int id) {
    loop.Remove(id);
}

EventLoop::EventLoop() = default;

EventLoop::~EventLoop() {
    Clear();
    removed.clear();
}

int EventLoop::Add(SocketHandle socket, int watch, std::unique_ptr<LoopHandler> handler) {
    if (socket == kInvalidSocket)
        return -1;
    int id = 0;
    while (id < kCapacity && entries[id].handler != nullptr)
        ++id;
    if (id == kCapacity || handler == nullptr || !waits.Attach(id, socket, watch)) {
        SocketClose(socket);
        return -1;
    }
    Entry& entry = entries[id];
    entry.socket = socket;
    entry.watch = watch;
    entry.hasDeadline = false;
    entry.handler = std::move(handler);
    ++count;
    if (id >= bound)
        bound = id + 1;
    return id;
}

int EventLoop::Watch(int id, int watch) {
    if (Handler(id) == nullptr || !waits.Change(id, entries[id].socket, watch))
        return 0;
    entries[id].watch = watch;
    return 1;
}

void EventLoop::SetDeadline(int id, Clock::time_point when) {
    if (Handler(id) == nullptr)
        return;
    entries[id].hasDeadline = true;
    entries[id].deadline = when;
}

void EventLoop::ClearDeadline(int id) {
    if (Handler(id) != nullptr)
        entries[id].hasDeadline = false;
}

void EventLoop::Remove(int id, bool abort) {
    if (Handler(id) == nullptr)
        return;
    Entry& entry = entries[id];
    waits.Detach(id);
    if (abort)
        SocketAbort(entry.socket);
    else
        SocketClose(entry.socket);
    entry.socket = kInvalidSocket;
    entry.hasDeadline = false;
    removed.push_back(std::move(entry.handler));
    --count;
    while (bound > 0 && entries[bound - 1].handler == nullptr)
        --bound;
}

void EventLoop::Clear() {
    for (int id = 0; id < bound; ++id)
        Remove(id);
    removed.clear();
}

SocketHandle EventLoop::Socket(int id) const {
    return Handler(id) != nullptr ? entries[id].socket : kInvalidSocket;
}

LoopHandler* EventLoop::Handler(int id) const {
    return id >= 0 && id < kCapacity ? entries[id].handler.get() : nullptr;
}

int EventLoop::WaitLimit(int maxWaitMilliseconds) const {
    long long limit = maxWaitMilliseconds;
    Clock::time_point now = Clock::now();
    for (int id = 0; id < bound; ++id) {
        const Entry& entry = entries[id];
        if (entry.handler == nullptr || !entry.hasDeadline)
            continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(entry.deadline - now).count();
        // Rounded up, so the wake-up comes at or after the deadline, never a busy millisecond early.
        if (entry.deadline > now + std::chrono::milliseconds(left))
            ++left;
        if (left < 0)
            left = 0;
        if (limit < 0 || left < limit)
            limit = left;
    }
    return static_cast<int>(limit);
}

int EventLoop::RunOnce(int maxWaitMilliseconds) {
    int waited = waits.Wait(bound, WaitLimit(maxWaitMilliseconds));
    if (waited > 0) {
        // Every ready socket is served once per turn, so no peer waits behind another's burst.
        int end = bound;
        for (int id = 0; id < end; ++id) {
            if (entries[id].handler == nullptr)
                continue;
            NetworkEvents events;
            if (waits.Take(id, entries[id].socket, &events))
                entries[id].handler->OnEvents(*this, id, events);
        }
    }
    ServeDeadlines();
    removed.clear();
    return waited < 0 ? -1 : 1;
}

void EventLoop::ServeDeadlines() {
    Clock::time_point now = Clock::now();
    int end = bound;
    for (int id = 0; id < end; ++id) {
        Entry& entry = entries[id];
        if (entry.handler == nullptr || !entry.hasDeadline || entry.deadline > now)
            continue;
        entry.hasDeadline = false;
        entry.handler->OnDeadline(*this, id);
    }
}

}  // namespace zamri
