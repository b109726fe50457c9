// Syslog messages of delivered lines (RFC 5424), and their framing on TCP (octet counting,
// RFC 6587). A line becomes
//
//   <134>1 2026-12-08T14:02:11.300+01:00 till-pc zamri 4242 line
//       [zamri@32473 camera="3" flags="2" receipt="17" source="COM3"] TOTAL 12.50
//
// facility local0; severity informational, notice (133) for lines the Important list matched.
// What the receipt reader found goes with its own message id and the journal's record as the
// text: an exception at severity warning (132) with its kind in the structured data,
//
//   <132>1 ... zamri 4242 exception [zamri@32473 camera="3" kind="refund" receipt="17"
//       source="COM3"] {"event":"exception",...}
//
// a transaction at informational, a drawer opening at notice.
//
// The text and the source carry no control characters: each C0 control (CR, LF, TAB...), DEL
// and C1 control (U+0080 to U+009F) is written as '#' and its three octal digits, CR LF as
// "#015#012", the form rsyslog gives such characters itself. So a collector or a file that
// splits at line ends sees one record per line, never one a till's text made up. Bytes that
// are not UTF-8 become U+FFFD.
#pragma once

#include <string>

#include "journal/journal_record.h"

namespace zamri {

constexpr char kSyslogStructuredDataId[] = "zamri@32473";

struct SyslogOrigin {
    std::string hostName;  // "-" when empty
    int processId = 0;
};

// Appends text as the message carries it (control characters escaped, see above).
void AppendSyslogText(const std::string& text, std::string* out);

// The message of one record (text already UTF-8), without framing.
std::string FormatSyslogMessage(const JournalRecord& record, const SyslogOrigin& origin);
// The message of a drawer, transaction, exception or health record (record: the journal's,
// UTF-8; kind: an exception's or health event's kind, UTF-8, else empty). Exceptions and the
// start of a health condition go at severity warning, its end (ending) and drawers at notice.
std::string FormatSyslogEvent(const char* messageId, int64_t utcMilliseconds, int utcOffsetMinutes,
                              int camera, int64_t receipt, const std::string& source, const std::string& kind,
                              const std::string& record, const SyslogOrigin& origin, bool ending = false);
// "LENGTH SP MESSAGE" as octet-counted TCP framing wants it.
void AppendOctetCounted(const std::string& message, std::string* out);

struct SyslogCollector {
    bool datagram = false;  // UDP; else TCP
    std::string host;
    int port = 514;
};

// "tcp://HOST[:PORT]", "udp://HOST[:PORT]" or "HOST[:PORT]" (TCP); the port defaults to 514.
// 1, or 0 when text is none of these.
int ParseSyslogCollector(const std::string& text, SyslogCollector* collector);
// The collector as the settings name it (for messages).
std::string DescribeCollector(const SyslogCollector& collector);

}  // namespace zamri
