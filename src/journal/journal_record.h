// One journal record: a delivered line as it is kept on disk, one JSON object per line
// (JSON Lines), in this key order:
//
//   {"time":"2026-12-08T14:02:11.300+01:00","camera":3,"flags":2,"source":"COM3",
//    "receipt":17,"text":"TOTAL 12.50"}
//
// time is the local time with its UTC offset and milliseconds; text is UTF-8. Readers accept
// the keys in any order and skip keys they do not know, so records can grow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zamri {

struct JournalRecord {
    int64_t utcMilliseconds = 0;
    int utcOffsetMinutes = 0;  // local time = UTC + offset
    int camera = 0;
    int flags = 0;
    std::string source;
    int64_t receipt = 0;
    std::string text;  // UTF-8
};

// Length of a local time text "YYYY-MM-DDTHH:MM:SS.mmm" (without its offset).
constexpr size_t kLocalTimeLength = 23;

// "YYYY-MM-DDTHH:MM:SS.mmm+HH:MM" for the instant and offset.
std::string FormatRecordTime(int64_t utcMilliseconds, int utcOffsetMinutes);
// The inverse; false when text is not in that form.
bool ParseRecordTime(std::string_view text, int64_t* utcMilliseconds, int* utcOffsetMinutes);

// Appends the record as one line, newline included. Bytes of text that are not valid UTF-8
// become U+FFFD, so the line is always valid JSON.
void AppendRecordLine(const JournalRecord& record, std::string* out);

// A record as found in a line, without copying: strings still in their JSON form.
struct RecordView {
    std::string_view time;  // as written, offset included
    int camera = 0;
    int flags = 0;
    std::string_view source;  // JSON string body, escapes not yet resolved
    int64_t receipt = 0;
    std::string_view text;  // JSON string body, escapes not yet resolved
    bool hasTime = false;
    bool hasCamera = false;
};

// Reads one line (without its newline). False when it is not a JSON object with at least a
// camera and a well-formed time, and for the records of the receipt reader (drawer,
// transaction, exception: an "event" key), which are not lines.
bool ParseRecordView(std::string_view line, RecordView* view);
// A full record from a view; false when its time is malformed.
bool RecordFromView(const RecordView& view, JournalRecord* record);

}  // namespace zamri
