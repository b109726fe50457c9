#include "platform/overlay_record.h"

#include "platform/hex_digit.h"

namespace zamri {

namespace {

const char kHex[] = "0123456789ABCDEF";

}  // namespace

void AppendEscapedText(std::string& out, const char* text) {
    if (text == nullptr)
        return;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        unsigned char c = *p;
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 0x0F];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
}

std::string UnescapeText(const std::string& escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        if (c != '\\' || i + 1 >= escaped.size()) {
            out += c;
            continue;
        }
        char next = escaped[i + 1];
        if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == 'r') {
            out += '\r';
            ++i;
        } else if (next == 'n') {
            out += '\n';
            ++i;
        } else if (next == 'x' && i + 3 < escaped.size() && HexDigitValue(escaped[i + 2]) >= 0 &&
                   HexDigitValue(escaped[i + 3]) >= 0) {
            out += static_cast<char>(HexDigitValue(escaped[i + 2]) * 16 + HexDigitValue(escaped[i + 3]));
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatOpenRecord(int a, int b, int handle) {
    return "OV_open\t" + std::to_string(a) + "\t" + std::to_string(b) + "\t" + std::to_string(handle);
}

std::string FormatWriteRecord(int handle, int channel, int flags, const char* text) {
    std::string line = "OV_write\t" + std::to_string(handle) + "\t" + std::to_string(channel) + "\t" +
                       std::to_string(flags) + "\t";
    AppendEscapedText(line, text);
    return line;
}

std::string FormatCloseRecord(int handle) {
    return "OV_close\t" + std::to_string(handle);
}

}  // namespace zamri
