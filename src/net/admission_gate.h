// One network front's door: which senders it lets in, what it counts and tells about the ones it
// turns away, and who gives way when every slot is taken. TCP mode's server and each network
// channel keep one, used on their network thread; the counts and the summary may be read from
// any thread. Every message goes to the error output at most once a minute per address, so a
// sender that keeps knocking cannot flood it:
//
//   zamri: <source>: refused <peer>, not an allowed sender (N refused so far)
//   zamri: <source>: <slots taken>; closed <peer>, silent for S s, for <newcomer> (N so far)
//   zamri: <source>: closed <peer>, <slots taken> (N so far)
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/allowed_senders.h"
#include "net/idle_slots.h"
#include "net/socket_seam.h"

namespace zamri {

class AdmissionGate {
  public:
    // source: how messages name the front ("TCP server", or a channel's port name).
    explicit AdmissionGate(std::string source);

    // Who may connect or send, as the settings file holds it (see allowed_senders.h); entries
    // that are neither an address nor a block are reported on the error output and left out.
    void SetAllowedSenders(const char* text);
    // Whether peer (dotted IPv4 text) may come in; one that may not is counted, noted in the
    // summary and reported.
    bool Admits(const char* peer);

    // Accepts one pending connection from listener with the peer's dotted address in peer (at
    // least kAddressTextSize bytes). kInvalidSocket when none was pending, or when the peer may
    // not come in: then it is closed at once, counted and reported, and *refused is set (so the
    // caller goes on accepting).
    SocketHandle Accept(SocketHandle listener, char* peer, int peerSize, bool* refused);

    // A connection turned away for another reason (its opening exchange failed, no slot was
    // free): noted in the summary.
    void NoteRefused(const char* peer);
    // A connection closed to give its slot to a newcomer, and one closed because every slot is
    // taken by connections that are not idle: counted and reported. slotsTaken says how full
    // the front was ("all 63 client slots were taken").
    void NoteReplaced(const char* gone, int64_t silentForMilliseconds, const char* newcomer,
                      const char* slotsTaken);
    void NoteTurnedAway(const char* peer, const char* slotsTaken);

    // How long a connection that holds a slot must have been silent before it gives way to a
    // newcomer ("SlotIdleSeconds", in milliseconds here; 0: nobody gives way). Any thread.
    void SetIdleLimit(int milliseconds) { idleLimit = milliseconds > 0 ? milliseconds : 0; }
    int IdleLimitMilliseconds() const { return idleLimit.load(); }

    uint64_t RefusedSenders() const { return refusedSenders.load(); }
    uint64_t Replaced() const { return replaced.load(); }
    uint64_t TurnedAway() const { return turnedAway.load(); }

    // The senders refused lately, each once, with the count at its latest refusal: a reader
    // that remembers the count it saw last finds every sender refused since, however many came
    // within its glance (up to this many; a sweep over more addresses shows its newest ones).
    static constexpr int kRecentPeers = 16;
    struct RecentRefusal {
        char peer[kAddressTextSize] = {};
        uint64_t count = 0;
    };

    // Connections that never got in, for any reason: how many so far, and the last one's
    // address and time (ms since 1970, UTC).
    struct Summary {
        uint64_t count = 0;
        char lastPeer[kAddressTextSize] = {};
        int64_t lastUtcMs = 0;
        RecentRefusal recent[kRecentPeers];
        int recentCount = 0;
    };
    Summary RefusalsSoFar() const;

  private:
    std::string source;
    AllowedSenders allowed;
    RefusalLog refusals;      // network thread
    RefusalLog replacements;  // network thread
    RefusalLog turnAways;     // network thread
    std::atomic<uint64_t> refusedSenders{0};
    std::atomic<uint64_t> replaced{0};
    std::atomic<uint64_t> turnedAway{0};
    std::atomic<int> idleLimit{kDefaultSlotIdleSeconds * 1000};
    mutable std::mutex summaryLock;
    Summary summary;
};

}  // namespace zamri
