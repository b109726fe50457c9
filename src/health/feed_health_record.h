// A change in a feed's health and the journal's record of it, beside the receipt records:
//
//   {"event":"health","time":"2026-12-08T14:02:11.300+01:00","camera":3,"source":"COM3",
//    "receipt":17,"kind":"port","state":"start","detail":"the port fails; ..."}
//
// Each condition has one record when it starts and one when it ends. camera is 0 (receipt null)
// where no camera applies, as for a refused sender. The kinds:
//   port               a serial port that fails, and comes back
//   line-errors        framing and parity errors above HealthLineErrors a minute
//   silent             a watched channel or sender silent for HealthSilentMinutes in opening hours
//   unexpected-camera  TCP mode: frames for a camera that no channel has
//   refused-sender     a sender the allowed list or the limits refused
#pragma once

#include <cstdint>
#include <string>

#include "delivery/delivered_line.h"

namespace zamri {

constexpr const char* kHealthPort = "port";
constexpr const char* kHealthLineErrors = "line-errors";
constexpr const char* kHealthSilent = "silent";
constexpr const char* kHealthUnexpectedCamera = "unexpected-camera";
constexpr const char* kHealthRefusedSender = "refused-sender";

struct FeedHealthEvent {
    int64_t utcMilliseconds = 0;
    int32_t utcOffsetMinutes = 0;
    int camera = 0;        // 1 to 32, or 0
    std::string source;    // port name or sender's address
    uint32_t receipt = 0;  // the camera's receipt number then; unused for camera 0
    std::string kind;      // one of the kinds above
    bool ending = false;   // "end", else "start"
    std::string detail;    // a sentence for people
};

// Appends the record and its newline.
void AppendFeedHealthRecord(const FeedHealthEvent& event, std::string* out);

// The event as the delivery step hands it to the sinks (DeliveredKind::Health).
DeliveredLine DeliveredHealth(const FeedHealthEvent& event);

}  // namespace zamri
