// Reading back what the overlay library substitute recorded.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testing_support {

struct OverlayCall {
    std::string name;                // "OV_open", "OV_write" or "OV_close"
    std::vector<long long> numbers;  // the numeric fields in order
    std::string text;                // OV_write only, unescaped
};

// One OV_write as a test expects it: the channel (camera - 1), the flags and the text.
struct OverlayWrite {
    int channel;
    int flags;
    std::string text;
    bool operator==(const OverlayWrite& other) const {
        return channel == other.channel && flags == other.flags && text == other.text;
    }
};
std::ostream& operator<<(std::ostream& out, const OverlayWrite& write);

std::vector<OverlayCall> ReadOverlayLog(const std::string& path);
// Just the OV_write calls.
std::vector<OverlayCall> ReadOverlayWrites(const std::string& path);

// Points the substitute at a fresh file for the lifetime of the object (the library picks it up
// at the next OV_open, so create this before the channel table).
class OverlayLogFile {
  public:
    OverlayLogFile();
    ~OverlayLogFile();
    const std::string& Path() const { return path_; }
    std::vector<OverlayCall> Writes() const { return ReadOverlayWrites(path_); }
    std::vector<OverlayCall> All() const { return ReadOverlayLog(path_); }
    std::vector<OverlayWrite> Lines() const;

  private:
    TempDir dir_;
    std::string path_;
};

}  // namespace testing_support
