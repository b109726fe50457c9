#include "journal/journal_record.h"

#include <cstdio>
#include <cstring>

#include "platform/hex_digit.h"

namespace zamri {

namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

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

void AppendUtf8(unsigned cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool Hex4(std::string_view s, size_t at, unsigned* value) {
    if (at + 4 > s.size())
        return false;
    unsigned v = 0;
    for (size_t i = 0; i < 4; ++i) {
        int h = HexDigitValue(s[at + i]);
        if (h < 0)
            return false;
        v = v * 16 + static_cast<unsigned>(h);
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

size_t Utf8SequenceLength(std::string_view text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        unsigned char d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

int64_t DaysFromCivil(int year, int month, int day) {
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = FloorDiv(y, 400);
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    int64_t era = FloorDiv(days, 146097);
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    *month = m;
    *day = d;
}

std::string FormatRecordTime(int64_t utcMilliseconds, int utcOffsetMinutes) {
    int64_t local = utcMilliseconds + static_cast<int64_t>(utcOffsetMinutes) * 60000;
    int64_t days = FloorDiv(local, kMillisecondsPerDay);
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

void AppendJsonEscaped(std::string_view text, std::string* out) {
    static const char kHex[] = "0123456789abcdef";
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            // Runs of plain characters go in one append.
            size_t start = i;
            while (i < text.size()) {
                unsigned char d = static_cast<unsigned char>(text[i]);
                if (d < 0x20 || d >= 0x7F || d == '"' || d == '\\')
                    break;
                ++i;
            }
            out->append(text.data() + start, i - start);
            continue;
        }
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out->append("\\n");
        } else if (c == '\r') {
            out->append("\\r");
        } else if (c == '\t') {
            out->append("\\t");
        } else if (c < 0x20 || c == 0x7F) {
            out->append("\\u00");
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 15]);
        } else {
            size_t n = Utf8SequenceLength(text, i);
            if (n == 0) {
                out->append("\xEF\xBF\xBD");  // U+FFFD
                ++i;
                continue;
            }
            out->append(text.data() + i, n);
            i += n;
            continue;
        }
        ++i;
    }
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
        } else if (!reader.SkipValue()) {
            return false;
        }
    }
    // A record must be one every reader can show: its time whole and well formed.
    int64_t utc = 0;
    int offset = 0;
    return view->hasTime && view->hasCamera && ParseRecordTime(view->time, &utc, &offset);
}

void UnescapeJsonString(std::string_view body, std::string* out) {
    out->clear();
    size_t i = 0;
    while (i < body.size()) {
        char c = body[i];
        if (c != '\\') {
            size_t next = body.find('\\', i);
            if (next == std::string_view::npos)
                next = body.size();
            out->append(body.data() + i, next - i);
            i = next;
            continue;
        }
        if (i + 1 >= body.size())
            break;
        char e = body[i + 1];
        i += 2;
        switch (e) {
            case 'n':
                out->push_back('\n');
                break;
            case 'r':
                out->push_back('\r');
                break;
            case 't':
                out->push_back('\t');
                break;
            case 'b':
                out->push_back('\b');
                break;
            case 'f':
                out->push_back('\f');
                break;
            case 'u': {
                unsigned cp = 0;
                if (!Hex4(body, i, &cp)) {
                    out->append("\xEF\xBF\xBD");
                    break;
                }
                i += 4;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    unsigned low = 0;
                    if (i + 1 < body.size() && body[i] == '\\' && body[i + 1] == 'u' &&
                        Hex4(body, i + 2, &low) && low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i += 6;
                    } else {
                        cp = 0xFFFD;
                    }
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    cp = 0xFFFD;
                }
                AppendUtf8(cp, out);
                break;
            }
            default:
                out->push_back(e);
                break;
        }
    }
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
