// Fuzz target: any bytes as a delivered line's camera, flags, receipt, source and text, made
// into a syslog message. Properties, not only crashes: the message is valid UTF-8 without a
// control character; its structured data ends where the format says, with the source's
// escapes undone giving the cleaned source; its message text turns back into the line's text
// when '#' and the three octal digits are undone (for UTF-8 text without '#'); and the octet
// count is the message's length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "export/syslog_format.h"
#include "text/utf8.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = zamri::Utf8SequenceLength(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

// The text with every "#ooo" turned back into its character (C1 controls into UTF-8).
std::string Unescaped(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '#' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3') {
            unsigned code =
                static_cast<unsigned>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            if (code < 0x80) {
                out.push_back(static_cast<char>(code));
            } else {
                out.push_back('\xC2');
                out.push_back(static_cast<char>(code));
            }
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    zamri::JournalRecord record;
    record.utcMilliseconds = 1765198931300 + data[0] * 3600000LL;
    record.utcOffsetMinutes = (data[0] % 49 - 24) * 30;
    record.camera = 1 + data[1] % 32;
    record.flags = data[2] & 0x17;
    record.receipt = data[3];
    std::string rest(reinterpret_cast<const char*>(data) + 4, size - 4);
    size_t cut = rest.find('\n');
    record.source = cut == std::string::npos ? std::string() : rest.substr(0, std::min<size_t>(cut, 63));
    record.text = cut == std::string::npos ? rest : rest.substr(cut + 1);

    zamri::SyslogOrigin origin{"till-pc", 4242};
    std::string message = zamri::FormatSyslogMessage(record, origin);
    Require(ValidUtf8(message));
    for (size_t i = 0; i < message.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(message[i]);
        Require(c >= 0x20 && c != 0x7F);
        Require(!(c == 0xC2 && i + 1 < message.size() && static_cast<unsigned char>(message[i + 1]) < 0xA0));
    }
    Require(message.compare(0, 5, (record.flags & 4) ? "<133>" : "<134>") == 0);

    // The structured data: "... source=\"VALUE\"] TEXT", VALUE with '"', '\' and ']' escaped.
    size_t at = message.find(" source=\"");
    Require(at != std::string::npos);
    at += 9;
    std::string source;
    for (;; ++at) {
        Require(at < message.size());
        char c = message[at];
        if (c == '\\') {
            Require(at + 1 < message.size());
            char e = message[++at];
            Require(e == '"' || e == '\\' || e == ']');
            source.push_back(e);
        } else if (c == '"') {
            break;
        } else {
            Require(c != ']');
            source.push_back(c);
        }
    }
    std::string cleanSource;
    zamri::AppendSyslogText(record.source, &cleanSource);
    Require(source == cleanSource);
    Require(message.compare(at, 3, "\"] ") == 0);
    std::string text = message.substr(at + 3);
    std::string cleanText;
    zamri::AppendSyslogText(record.text, &cleanText);
    Require(text == cleanText);
    if (ValidUtf8(record.text) && record.text.find('#') == std::string::npos)
        Require(Unescaped(text) == record.text);

    std::string framed;
    zamri::AppendOctetCounted(message, &framed);
    Require(framed == std::to_string(message.size()) + " " + message);
    return 0;
}
