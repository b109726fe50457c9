// Syslog messages of delivered lines (RFC 5424), and their framing on TCP (octet counting,
// RFC 6587). A line becomes
//
//   <134>1 2026-12-08T14:02:11.300+01:00 till-pc zamri 4242 line
//       [zamri@32473 camera="3" flags="2" receipt="17" source="COM3"] TOTAL 12.50
//
// facility local0; severity informational, notice (133) for lines the Important list matched.
#pragma once

#include <string>

#include "journal/journal_record.h"

namespace zamri {

constexpr char kSyslogStructuredDataId[] = "zamri@32473";

struct SyslogOrigin {
    std::string hostName;  // "-" when empty
    int processId = 0;
};

// The message of one record (text already UTF-8), without framing.
std::string FormatSyslogMessage(const JournalRecord& record, const SyslogOrigin& origin);
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
