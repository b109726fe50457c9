#include "config/channel_settings.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/hex_digit.h"

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void CopyText(char* field, const char* token) {
    size_t length = std::strlen(token);
    if (length > kChannelTextSize - 1)
        length = kChannelTextSize - 1;
    std::memcpy(field, token, length);
    field[length] = 0;
}

// The next strtok-style token of text starting at *cursor: leading commas skipped, the token
// ends at the next comma or the end. Returns false when no token is left.
bool NextToken(const char*& cursor, char* token, int size) {
    while (*cursor == ',')
        ++cursor;
    if (*cursor == 0)
        return false;
    int length = 0;
    while (*cursor != 0 && *cursor != ',') {
        if (length < size - 1)
            token[length++] = *cursor;
        ++cursor;
    }
    token[length] = 0;
    return true;
}

}  // namespace

int ParseDecimalLikeAtoi(const char* text) {
    if (text == nullptr)
        return 0;
    while (IsCSpace(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

unsigned ParseHexLikeScanf(const char* text) {
    if (text == nullptr)
        return 0;
    while (IsCSpace(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && zamri::HexDigitValue(text[2]) >= 0)
        text += 2;
    unsigned value = 0;
    for (int digit; (digit = zamri::HexDigitValue(*text)) >= 0; ++text)
        value = value * 16u + static_cast<unsigned>(digit);
    return negative ? 0u - value : value;
}

int ParseChannelValue(const char* value, ChannelConfig& record) {
    if (value == nullptr)
        return 0;
    const char* cursor = value;
    char token[kSettingsValueSize];
    int stored = 0;
    for (int field = 0; field < 10 && NextToken(cursor, token, sizeof token); ++field) {
        switch (field) {
            case 0:
                record.enabled = ParseDecimalLikeAtoi(token);
                break;
            case 1:
                CopyText(record.portName, token);
                break;
            case 2:
                record.baudRate = ParseDecimalLikeAtoi(token);
                break;
            case 3:
                record.parity = ParseDecimalLikeAtoi(token);
                break;
            case 4:
                record.dataBits = ParseDecimalLikeAtoi(token);
                break;
            case 5:
                record.stopBits = ParseDecimalLikeAtoi(token);
                break;
            case 6:
                record.flowControl = static_cast<uint8_t>(ParseHexLikeScanf(token) & 0xFFu);
                break;
            case 7:
                record.emulation = ParseDecimalLikeAtoi(token);
                break;
            case 8:
                record.patternFlags = ParseDecimalLikeAtoi(token);
                break;
            case 9:
                CopyText(record.patternText, token);
                break;
        }
        ++stored;
    }
    return stored;
}

const char* OverlongChannelField(const char* value) {
    if (value == nullptr)
        return nullptr;
    const char* cursor = value;
    char token[kSettingsValueSize];
    for (int field = 0; field < 10 && NextToken(cursor, token, sizeof token); ++field) {
        if ((field == 1 || field == 9) && std::strlen(token) > kChannelTextSize - 1)
            return field == 1 ? "port name" : "footer text";
    }
    return nullptr;
}

int FormatChannelValue(const ChannelConfig& record, char* out, int size) {
    if (out == nullptr || size <= 0)
        return -1;
    int length = std::snprintf(out, static_cast<size_t>(size), "%d,%s,%d,%d,%d,%d,%x,%d,%d,%s",
                               record.enabled, record.portName, record.baudRate, record.parity,
                               record.dataBits, record.stopBits, static_cast<unsigned>(record.flowControl),
                               record.emulation, record.patternFlags, record.patternText);
    if (length < 0 || length >= size) {
        out[0] = 0;
        return -1;
    }
    return length;
}
