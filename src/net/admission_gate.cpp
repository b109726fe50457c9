#include "net/admission_gate.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/os.h"

namespace zamri {

AdmissionGate::AdmissionGate(std::string name) : source(std::move(name)) {}

void AdmissionGate::SetAllowedSenders(const char* text) {
    std::string rejected;
    allowed.Parse(text, &rejected);
    if (!rejected.empty()) {
        std::string line =
            "zamri: " + source + ": allowed senders: ignored what is not an IPv4 address or block: ";
        WriteErrorLine((line + rejected).c_str());
    }
}

bool AdmissionGate::Admits(const char* peer) {
    if (allowed.Allows(peer))
        return true;
    NoteRefused(peer);
    ++refusedSenders;
    if (refusals.Refused(peer)) {
        char line[240];
        std::snprintf(line, sizeof line, "zamri: %s: refused %s, not an allowed sender (%llu refused so far)",
                      source.c_str(), peer, static_cast<unsigned long long>(refusedSenders.load()));
        WriteErrorLine(line);
    }
    return false;
}

SocketHandle AdmissionGate::Accept(SocketHandle listener, char* peer, int peerSize, bool* refused) {
    *refused = false;
    SocketHandle accepted = SocketAccept(listener, peer, peerSize);
    if (accepted == kInvalidSocket || Admits(peer))
        return accepted;
    SocketClose(accepted);
    *refused = true;
    return kInvalidSocket;
}

void AdmissionGate::NoteRefused(const char* peer) {
    int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    const char* name = peer != nullptr ? peer : "";
    std::lock_guard<std::mutex> guard(summaryLock);
    ++summary.count;
    std::snprintf(summary.lastPeer, sizeof summary.lastPeer, "%s", name);
    summary.lastUtcMs = now;
    // The sender's own entry, else a free one, else the one refused longest ago.
    RecentRefusal* entry = nullptr;
    for (int i = 0; i < summary.recentCount && entry == nullptr; ++i) {
        if (std::strcmp(summary.recent[i].peer, summary.lastPeer) == 0)
            entry = &summary.recent[i];
    }
    if (entry == nullptr && summary.recentCount < kRecentPeers)
        entry = &summary.recent[summary.recentCount++];
    if (entry == nullptr) {
        entry = &summary.recent[0];
        for (RecentRefusal& candidate : summary.recent) {
            if (candidate.count < entry->count)
                entry = &candidate;
        }
    }
    std::memcpy(entry->peer, summary.lastPeer, sizeof entry->peer);
    entry->count = summary.count;
}

void AdmissionGate::NoteReplaced(const char* gone, int64_t silentForMilliseconds, const char* newcomer,
                                 const char* slotsTaken) {
    ++replaced;
    if (!replacements.Refused(gone))
        return;
    char line[280];
    std::snprintf(line, sizeof line, "zamri: %s: %s; closed %s, silent for %lld s, for %s (%llu so far)",
                  source.c_str(), slotsTaken, gone, static_cast<long long>(silentForMilliseconds / 1000),
                  newcomer, static_cast<unsigned long long>(replaced.load()));
    WriteErrorLine(line);
}

void AdmissionGate::NoteTurnedAway(const char* peer, const char* slotsTaken) {
    ++turnedAway;
    if (!turnAways.Refused(peer))
        return;
    char line[240];
    std::snprintf(line, sizeof line, "zamri: %s: closed %s, %s (%llu so far)", source.c_str(), peer,
                  slotsTaken, static_cast<unsigned long long>(turnedAway.load()));
    WriteErrorLine(line);
}

AdmissionGate::Summary AdmissionGate::RefusalsSoFar() const {
    std::lock_guard<std::mutex> guard(summaryLock);
    return summary;
}

}  // namespace zamri
