#include "web/web_text.h"

#include <cstdio>

#include "platform/hex_digit.h"
#include "text/civil_days.h"
#include "text/utf8.h"

namespace zamri {

namespace {

// Length of the valid UTF-8 sequence at text[i] (1 for ASCII), or 0.
size_t Utf8Length(const std::string& text, size_t i) {
    return static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8SequenceLength(text, i);
}

int DecodeComponent(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            int high = i + 1 < in.size() ? zamri::HexDigitValue(in[i + 1]) : -1;
            int low = i + 2 < in.size() ? zamri::HexDigitValue(in[i + 2]) : -1;
            if (high < 0 || low < 0)
                return 0;
            char decoded = static_cast<char>(high * 16 + low);
            if (decoded == 0)
                return 0;
            out += decoded;
            i += 2;
        } else if (c == 0) {
            return 0;  // as %00 is: a NUL would cut the text where C strings take it
        } else {
            out += c;
        }
    }
    return 1;
}

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int Digits(const std::string& text, size_t at, size_t count, int* value) {
    if (at + count > text.size())
        return 0;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return 1;
}

}  // namespace

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (length > 1) {
            out.append(text, i, length);
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == '&') {
            // Control bytes, and the characters that could end a script element if the JSON
            // were ever inlined into the page.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
        i += length;
    }
    out += '"';
}

std::string JsonString(const std::string& text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

int ParseQuery(const std::string& query, std::vector<std::pair<std::string, std::string>>& out) {
    out.clear();
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        std::string part = query.substr(start, end - start);
        if (!part.empty()) {
            size_t equals = part.find('=');
            std::string name, value;
            if (!DecodeComponent(part.substr(0, equals), name))
                return 0;
            if (equals != std::string::npos && !DecodeComponent(part.substr(equals + 1), value))
                return 0;
            out.emplace_back(name, value);
        }
        start = end + 1;
    }
    return 1;
}

int ParseNumber(const std::string& text, int64_t min, int64_t max, int64_t* value) {
    if (text.empty() || text.size() > 18)
        return 0;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + (c - '0');
    }
    if (v < min || v > max)
        return 0;
    *value = v;
    return 1;
}

int ParseLocalTime(const std::string& text, int64_t* localMs) {
    int year, month, day, hour, minute, second = 0;
    if (text.size() != 16 && text.size() != 19)
        return 0;
    if (!Digits(text, 0, 4, &year) || text[4] != '-' || !Digits(text, 5, 2, &month) || text[7] != '-' ||
        !Digits(text, 8, 2, &day) || (text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2, &hour) ||
        text[13] != ':' || !Digits(text, 14, 2, &minute))
        return 0;
    if (text.size() == 19 && (text[16] != ':' || !Digits(text, 17, 2, &second)))
        return 0;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return 0;
    int monthDays = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day > monthDays)
        return 0;
    int64_t days = DaysFromCivil(year, month, day);
    *localMs = ((days * 24 + hour) * 60 + minute) * 60000 + static_cast<int64_t>(second) * 1000;
    return 1;
}

std::string FormatLocalTime(int64_t localMs) {
    int64_t seconds = FloorDivide(localMs, 1000);
    int64_t days = FloorDivide(seconds, 86400);
    int64_t rest = seconds - days * 86400;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

std::string JournalTimeBound(std::string bound) {
    if (bound.size() > 10 && bound[10] == ' ')
        bound[10] = 'T';
    return bound;
}

int DecodeBase64(const std::string& text, std::string& out) {
    out.clear();
    uint32_t bits = 0;
    int count = 0;
    size_t padding = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '=') {
            ++padding;
            continue;
        } else
            return 0;
        if (padding != 0)
            return 0;  // data after padding
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return (text.size() % 4 == 0 && padding <= 2) ? 1 : 0;
}

int BasicPasswordMatches(const std::string& authorization, const std::string& password) {
    const std::string scheme = "basic ";
    if (authorization.size() <= scheme.size())
        return 0;
    for (size_t i = 0; i < scheme.size(); ++i) {
        char c = authorization[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i])
            return 0;
    }
    size_t start = authorization.find_first_not_of(' ', scheme.size());
    std::string credentials;
    if (start == std::string::npos || !DecodeBase64(authorization.substr(start), credentials))
        return 0;
    size_t colon = credentials.find(':');
    if (colon == std::string::npos)
        return 0;
    std::string given = credentials.substr(colon + 1);
    // Every byte is compared, so the time taken does not tell how much of a guess was right.
    unsigned difference = given.size() == password.size() ? 0u : 1u;
    for (size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i]) ^
                      static_cast<unsigned char>(password.empty() ? 0 : password[i % password.size()]);
    return difference == 0 && !password.empty() ? 1 : 0;
}

}  // namespace zamri
