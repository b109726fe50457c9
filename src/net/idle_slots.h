// Who gives way when every slot of a server is taken: the connection that has been silent
// longest, once it has been silent for longer than the idle limit. A till that sends its
// receipts is therefore never the one to go, and one that idles overnight keeps its connection
// for as long as nobody needs the slot. The framed TCP server and the network channels
// (listen://, printer://) decide this way.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace zamri {

class EventLoop;

// The idle limit's default and its largest value ("SlotIdleSeconds" in [Options]; 0: a full
// server refuses every newcomer and nobody gives way).
constexpr int kDefaultSlotIdleSeconds = 60;
constexpr int kMaxSlotIdleSeconds = 86400;

// When a connection that holds a slot was last heard from: admitted, or bytes received.
class Silence {
  public:
    using Clock = std::chrono::steady_clock;
    void Heard() { since = Clock::now(); }
    Clock::time_point Since() const { return since; }

  private:
    Clock::time_point since = Clock::now();
};

// The id of the connection to give way, or -1: among the loop's handlers for which silenceOf
// gives a Silence (the others never give way), the one silent longest, if that is longer than
// idleLimitMilliseconds (0 or less: nobody). A connection whose socket holds bytes not read yet
// is not silent: it counts as heard now and is passed over. *silentFor (when not null) gets how
// long the chosen one has been silent, in milliseconds.
int LongestSilent(EventLoop& loop, int idleLimitMilliseconds,
                  const std::function<Silence*(int id)>& silenceOf, int64_t* silentFor = nullptr);

}  // namespace zamri
