// The network thread's loop: one thread serves many sockets, each with its own state and
// deadline, and never waits on one peer. Whichever socket is ready is served once per turn;
// deadlines are checked by the loop, not by blocking calls with time-outs. It runs over the
// socket seam, so it is the same on Linux (epoll) and Windows (Winsock event objects).
//
// How a front plugs in (the framed TCP server in tcp_server.cpp is the worked example):
// - Every socket gets a LoopHandler that holds that connection's state (bytes so far, step of
//   an exchange, its peer). Add(socket, watch, handler) gives it an id; the loop owns both
//   from then on and closes the socket when the handler is removed.
// - A listener: Add the listening socket with kWatchAccept. Its OnEvents accepts (until
//   SocketAccept has nothing more) and Adds one handler per new connection, kWatchRead.
// - An incoming or outgoing connection: OnEvents reads what is there (events.read: call
//   SocketReceive until it would block, or once; events.close: the peer ended or reset). An
//   outgoing one is opened with SocketOpenStream, Added with kWatchRead | kWatchWrite, then
//   started with SocketConnectBegin; its first write event tells the end of the connect
//   (events.writeError nonzero: it failed). Turn kWatchWrite off with Watch once connected.
// - Sending more than a socket takes at once (a relay towards a slow printer): keep the rest
//   in the handler, turn kWatchWrite on, send again on each write event until done, then off.
// - Time limits (an exchange that must finish, an idle connection, a reconnect pause): set a
//   deadline with SetDeadline; once it passes the loop calls OnDeadline (default: Remove).
//   A handler without a socket cannot be added; a pause between reconnects is the deadline of
//   the handler whose connect failed (it Adds the next attempt's handler from OnDeadline).
// - Handlers never block and never sleep. They may Add and Remove handlers (their own too)
//   from their callbacks; a removed handler is destroyed after the callback returns.
// - One thread owns the loop and calls RunOnce in its own loop until it is asked to stop;
//   other threads only call Wake (after setting their stop flag).
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "net/socket_seam.h"

namespace zamri {

class EventLoop;

class LoopHandler {
  public:
    virtual ~LoopHandler() = default;
    // What the platform reported for the handler's socket since the last turn.
    virtual void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) = 0;
    // The handler's deadline passed (it is cleared before the call).
    virtual void OnDeadline(EventLoop& loop, int id);
};

class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kCapacity = kMaxWaitSlots;

    EventLoop();
    // Closes every socket still in the loop.
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // 1 when the platform's wait object could be set up.
    int IsReady() const { return waits.IsReady(); }
    // Takes the socket (made non-blocking) and its handler; the id, or -1 (full, or the platform
    // refused the watch), in which case the socket is closed and the handler dropped.
    int Add(SocketHandle socket, int watch, std::unique_ptr<LoopHandler> handler);
    // Changes what the socket is watched for. 1 or 0.
    int Watch(int id, int watch);
    void SetDeadline(int id, Clock::time_point when);
    void ClearDeadline(int id);
    // Closes the socket (with a reset when abort is set) and frees the handler once the
    // current callback has returned. An id that is not in use is ignored.
    void Remove(int id, bool abort = false);
    // Removes every handler, closing every socket.
    void Clear();

    // The socket and handler of an id in use, else kInvalidSocket / nullptr.
    SocketHandle Socket(int id) const;
    LoopHandler* Handler(int id) const;
    int Count() const { return count; }
    // Ids in use run below this bound (for walking over every handler).
    int IdBound() const { return bound; }

    // One turn: waits until a socket is ready, the earliest deadline passes, Wake is called or
    // maxWaitMilliseconds pass (-1: no limit); then serves every ready socket once and every
    // passed deadline. 1, or -1 when the wait failed.
    int RunOnce(int maxWaitMilliseconds = -1);
    // Any thread: makes a RunOnce in progress (or the next one) return soon.
    void Wake() { waits.Wake(); }

  private:
    struct Entry {
        SocketHandle socket = kInvalidSocket;
        int watch = 0;
        bool hasDeadline = false;
        Clock::time_point deadline;
        std::unique_ptr<LoopHandler> handler;
    };
    int WaitLimit(int maxWaitMilliseconds) const;
    void ServeDeadlines();

    Entry entries[kCapacity];
    int count = 0;
    int bound = 0;
    SocketWaitSet waits;
    // Handlers removed during this turn; they may still be running.
    std::vector<std::unique_ptr<LoopHandler>> removed;
};

}  // namespace zamri
