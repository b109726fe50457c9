#include "journal/journal_record.h"

#include <cstdio>
#include <cstring>

#include "text/civil_days.h"
#include "text/json_string.h"

namespace zamri {

namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;

bool Digits(std::string_view text, size_t at, size_t count, int* value) {
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[at + i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// A small reader for the flat objects the journal holds: string and number values, keys in
// any order. Nested values are not expected and make the line unreadable.
class FlatObjectReader {
  public:
    explicit FlatObjectReader(std::string_view line) : s(line) {}

    bool Open() {
        SkipBlanks();
        return Take('{');
    }
    // Next key (body without quotes); false at the closing brace or on a malformed line.
    bool NextKey(std::string_view* key, bool* done) {
        SkipBlanks();
        if (pos < s.size() && s[pos] == '}') {
            *done = true;
            return true;
        }
        if (!first && !Take(','))
            return false;
        first = false;
        SkipBlanks();
        if (!String(key))
            return false;
        SkipBlanks();
        return Take(':');
    }
    bool String(std::string_view* body) {
        SkipBlanks();
        if (!Take('"'))
            return false;
        size_t start = pos;
        for (;;) {
            const void* found = std::memchr(s.data() + pos, '"', s.size() - pos);
            if (found == nullptr)
                return false;
            size_t quote = static_cast<size_t>(static_cast<const char*>(found) - s.data());
            // A quote after an odd number of backslashes is part of the text.
            size_t backslashes = 0;
            while (quote - backslashes > start && s[quote - backslashes - 1] == '\\')
                ++backslashes;
            pos = quote + 1;
            if (backslashes % 2 == 0) {
                *body = s.substr(start, quote - start);
                return true;
            }
        }
    }
    bool Integer(int64_t* value) {
        SkipBlanks();
        bool negative = pos < s.size() && s[pos] == '-';
        if (negative)
            ++pos;
        size_t start = pos;
        int64_t v = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - start < 18)
            v = v * 10 + (s[pos++] - '0');
        if (pos == start)
            return false;
        *value = negative ? -v : v;
        return true;
    }
    // Skips a value of a key we do not know.
    bool SkipValue() {
        SkipBlanks();
        if (pos >= s.size())
            return false;
        if (s[pos] == '"') {
            std::string_view ignored;
            return String(&ignored);
        }
        size_t start = pos;
        while (pos < s.size() && s[pos] != ',' && s[pos] != '}' && s[pos] != '{' && s[pos] != '[')
            ++pos;
        return pos > start && pos < s.size() && s[pos] != '{' && s[pos] != '[';
    }

  private:
    void SkipBlanks() {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r'))
            ++pos;
    }
    bool Take(char c) {
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }

    std::string_view s;
    size_t pos = 0;
    bool first = true;
};

}  // namespace

std::string FormatRecordTime(int64_t utcMilliseconds, int utcOffsetMinutes) {
    int64_t local = utcMilliseconds + static_cast<int64_t>(utcOffsetMinutes) * 60000;
    int64_t days = FloorDivide(local, kMillisecondsPerDay);
    int64_t inDay = local - days * kMillisecondsPerDay;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month, day,
                  static_cast<int>(inDay / 3600000), static_cast<int>(inDay / 60000 % 60),
                  static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000),
                  utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

bool ParseRecordTime(std::string_view t, int64_t* utcMilliseconds, int* utcOffsetMinutes) {
    int year, month, day, hour, minute, second, milli, oh, om;
    if (t.size() != 29 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != '.' || (t[23] != '+' && t[23] != '-') || t[26] != ':')
        return false;
    if (!Digits(t, 0, 4, &year) || !Digits(t, 5, 2, &month) || !Digits(t, 8, 2, &day) ||
        !Digits(t, 11, 2, &hour) || !Digits(t, 14, 2, &minute) || !Digits(t, 17, 2, &second) ||
        !Digits(t, 20, 3, &milli) || !Digits(t, 24, 2, &oh) || !Digits(t, 27, 2, &om))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    int offset = (oh * 60 + om) * (t[23] == '-' ? -1 : 1);
    int64_t local = DaysFromCivil(year, month, day) * kMillisecondsPerDay + hour * 3600000LL +
                    minute * 60000LL + second * 1000LL + milli;
    *utcMilliseconds = local - offset * 60000LL;
    *utcOffsetMinutes = offset;
    return true;
}

void AppendRecordLine(const JournalRecord& r, std::string* out) {
    out->append("{\"time\":\"");
    out->append(FormatRecordTime(r.utcMilliseconds, r.utcOffsetMinutes));
    char number[64];
    std::snprintf(number, sizeof number, "\",\"camera\":%d,\"flags\":%d,\"source\":\"", r.camera, r.flags);
    out->append(number);
    AppendJsonEscaped(r.source, out);
    std::snprintf(number, sizeof number, "\",\"receipt\":%lld,\"text\":\"",
                  static_cast<long long>(r.receipt));
    out->append(number);
    AppendJsonEscaped(r.text, out);
    out->append("\"}\n");
}

bool ParseRecordView(std::string_view line, RecordView* view) {
    *view = RecordView();
    FlatObjectReader reader(line);
    if (!reader.Open())
        return false;
    for (;;) {
        std::string_view key;
        bool done = false;
        if (!reader.NextKey(&key, &done))
            return false;
        if (done)
            break;
        int64_t number = 0;
        if (key == "time") {
            if (!reader.String(&view->time))
                return false;
            view->hasTime = true;
        } else if (key == "camera") {
            if (!reader.Integer(&number))
                return false;
            view->camera = static_cast<int>(number);
            view->hasCamera = true;
        } else if (key == "flags") {
            if (!reader.Integer(&number))
                return false;
            view->flags = static_cast<int>(number);
        } else if (key == "source") {
            if (!reader.String(&view->source))
                return false;
        } else if (key == "receipt") {
            if (!reader.Integer(&view->receipt))
                return false;
        } else if (key == "text") {
            if (!reader.String(&view->text))
                return false;
        } else if (key == "event") {
            // A drawer, transaction or exception record beside the lines: not a printed line.
            return false;
        } else if (!reader.SkipValue()) {
            return false;
        }
    }
    // A record must be one every reader can show: its time whole and well formed.
    int64_t utc = 0;
    int offset = 0;
    return view->hasTime && view->hasCamera && ParseRecordTime(view->time, &utc, &offset);
}

bool RecordFromView(const RecordView& view, JournalRecord* record) {
    if (!ParseRecordTime(view.time, &record->utcMilliseconds, &record->utcOffsetMinutes))
        return false;
    record->camera = view.camera;
    record->flags = view.flags;
    record->receipt = view.receipt;
    UnescapeJsonString(view.source, &record->source);
    UnescapeJsonString(view.text, &record->text);
    return true;
}

}  // namespace zamri
