#include "text/json_string.h"

#include "platform/hex_digit.h"
#include "text/utf8.h"

namespace zamri {

namespace {

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

}  // namespace

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

}  // namespace zamri
