#include "export/syslog_format.h"

#include <cstdio>
#include <cstdlib>

#include "text/utf8.h"

namespace zamri {

namespace {

constexpr int kFacilityLocal0 = 16;
constexpr int kSeverityWarning = 4;
constexpr int kSeverityNotice = 5;
constexpr int kSeverityInformational = 6;
constexpr int kImportantFlag = 4;

// A header field: printable ASCII without blanks, at most maxLength, "-" when empty.
std::string HeaderField(const std::string& value, size_t maxLength) {
    std::string out;
    for (char c : value)
        if (c > 32 && c < 127 && out.size() < maxLength)
            out.push_back(c);
    return out.empty() ? std::string("-") : out;
}

void AppendOctalEscape(unsigned code, std::string* out) {
    out->push_back('#');
    out->push_back(static_cast<char>('0' + ((code >> 6) & 7)));
    out->push_back(static_cast<char>('0' + ((code >> 3) & 7)));
    out->push_back(static_cast<char>('0' + (code & 7)));
}

// text with control characters escaped and bytes that are not UTF-8 replaced; inParam also
// escapes what a structured-data parameter value must ('"', '\\' and ']').
void AppendCleanText(const std::string& text, bool inParam, std::string* out) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            AppendOctalEscape(c, out);
            ++i;
        } else if (c < 0x80) {
            if (inParam && (c == '"' || c == '\\' || c == ']'))
                out->push_back('\\');
            out->push_back(static_cast<char>(c));
            ++i;
        } else {
            size_t n = Utf8SequenceLength(text, i);
            if (n == 0) {
                out->append("\xEF\xBF\xBD");  // U+FFFD
                ++i;
            } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                AppendOctalEscape(static_cast<unsigned char>(text[i + 1]), out);  // U+0080 to U+009F
                i += 2;
            } else {
                out->append(text, i, n);
                i += n;
            }
        }
    }
}

}  // namespace

void AppendSyslogText(const std::string& text, std::string* out) {
    AppendCleanText(text, false, out);
}

std::string FormatSyslogMessage(const JournalRecord& record, const SyslogOrigin& origin) {
    int severity = (record.flags & kImportantFlag) != 0 ? kSeverityNotice : kSeverityInformational;
    char head[96];
    std::snprintf(head, sizeof head, "<%d>1 ", kFacilityLocal0 * 8 + severity);
    std::string m = head;
    m += FormatRecordTime(record.utcMilliseconds, record.utcOffsetMinutes);
    m += ' ';
    m += HeaderField(origin.hostName, 255);
    std::snprintf(head, sizeof head,
                  " zamri %d line [%s camera=\"%d\" flags=\"%d\" receipt=\"%lld\" source=\"",
                  origin.processId, kSyslogStructuredDataId, record.camera, record.flags,
                  static_cast<long long>(record.receipt));
    m += head;
    AppendCleanText(record.source, true, &m);
    m += "\"] ";
    AppendSyslogText(record.text, &m);
    return m;
}

std::string FormatSyslogEvent(const char* messageId, int64_t utcMilliseconds, int utcOffsetMinutes,
                              int camera, int64_t receipt, const std::string& source, const std::string& kind,
                              const std::string& record, const SyslogOrigin& origin, bool ending) {
    std::string id = messageId;
    int severity = id == "exception" ? kSeverityWarning
                   : id == "health"  ? (ending ? kSeverityNotice : kSeverityWarning)
                   : id == "drawer"  ? kSeverityNotice
                                     : kSeverityInformational;
    char head[96];
    std::snprintf(head, sizeof head, "<%d>1 ", kFacilityLocal0 * 8 + severity);
    std::string m = head;
    m += FormatRecordTime(utcMilliseconds, utcOffsetMinutes);
    m += ' ';
    m += HeaderField(origin.hostName, 255);
    std::snprintf(head, sizeof head, " zamri %d %s [%s camera=\"%d\"", origin.processId, messageId,
                  kSyslogStructuredDataId, camera);
    m += head;
    if (!kind.empty()) {
        m += " kind=\"";
        AppendCleanText(kind, true, &m);
        m += '"';
    }
    std::snprintf(head, sizeof head, " receipt=\"%lld\" source=\"", static_cast<long long>(receipt));
    m += head;
    AppendCleanText(source, true, &m);
    m += "\"] ";
    AppendSyslogText(record, &m);
    return m;
}

void AppendOctetCounted(const std::string& message, std::string* out) {
    *out += std::to_string(message.size());
    out->push_back(' ');
    *out += message;
}

int ParseSyslogCollector(const std::string& text, SyslogCollector* collector) {
    SyslogCollector c;
    std::string rest = text;
    if (rest.compare(0, 6, "udp://") == 0) {
        c.datagram = true;
        rest = rest.substr(6);
    } else if (rest.compare(0, 6, "tcp://") == 0) {
        rest = rest.substr(6);
    } else if (rest.find("://") != std::string::npos) {
        return 0;
    }
    size_t colon = rest.rfind(':');
    if (colon != std::string::npos) {
        std::string port = rest.substr(colon + 1);
        char* end = nullptr;
        long number = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != 0 || number < 1 || number > 65535)
            return 0;
        c.port = static_cast<int>(number);
        rest = rest.substr(0, colon);
    }
    if (rest.empty() || rest.find_first_of(" /:\t") != std::string::npos)
        return 0;
    c.host = rest;
    *collector = c;
    return 1;
}

std::string DescribeCollector(const SyslogCollector& c) {
    return (c.datagram ? "udp://" : "tcp://") + c.host + ":" + std::to_string(c.port);
}

}  // namespace zamri
