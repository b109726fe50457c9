// Who may connect or send to a network source: IPv4 addresses and CIDR blocks, for example
// "10.1.0.5 10.1.0.0/24" (entries separated by blanks or commas). No list at all lets every
// sender in; a list lets in only what it names. An entry that is neither is reported and
// ignored, so a list of nothing but malformed entries lets nobody in (never "everyone").
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class AllowedSenders {
  public:
    // Replaces the list. Returns the number of entries taken; the malformed ones, separated by
    // blanks, go to rejected (which is emptied first) when it is not null.
    int Parse(const char* text, std::string* rejected = nullptr);

    // Whether a list was given at all (even one whose entries were all malformed).
    bool Restricts() const { return restricted; }
    bool Allows(uint32_t address) const;
    // A dotted IPv4 address; anything that is not one is refused when a list is given.
    bool Allows(const char* address) const;

  private:
    struct Block {
        uint32_t network;
        uint32_t mask;
    };
    std::vector<Block> blocks;
    bool restricted = false;
};

// The refusals of one source: counted, and reported at most once a minute per address so that
// a sender that keeps knocking cannot flood the error output.
class RefusalLog {
  public:
    static constexpr int64_t kQuietMilliseconds = 60000;
    static constexpr size_t kMaxRemembered = 1024;

    // Counts a refusal of address at time now (ms, any monotonic clock); true when it is to be
    // reported.
    bool Refused(const char* address, int64_t now);
    // The same, now on the steady clock.
    bool Refused(const char* address);
    uint64_t Count() const { return count; }

  private:
    uint64_t count = 0;
    std::unordered_map<std::string, int64_t> lastReported;
};
