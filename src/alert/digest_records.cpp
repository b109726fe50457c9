#include "alert/digest_records.h"

#include <functional>

#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "text/json_string.h"

namespace zamri {

namespace {

void SkipBlanks(std::string_view s, size_t* at) {
    while (*at < s.size() && (s[*at] == ' ' || s[*at] == '\t' || s[*at] == '\r'))
        ++*at;
}

// From the opening quote: the body up to the closing one, *at then after it.
bool ReadString(std::string_view s, size_t* at, std::string_view* body) {
    size_t start = *at + 1;
    for (size_t i = start; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
        } else if (s[i] == '"') {
            *body = s.substr(start, i - start);
            *at = i + 1;
            return true;
        }
    }
    return false;
}

// Any value: a string's body (isString), or the raw text of the others (objects and arrays are
// skipped whole).
bool ReadValue(std::string_view s, size_t* at, std::string_view* value, bool* isString) {
    SkipBlanks(s, at);
    if (*at >= s.size())
        return false;
    *isString = s[*at] == '"';
    if (*isString)
        return ReadString(s, at, value);
    size_t start = *at;
    int depth = 0;
    for (; *at < s.size(); ++*at) {
        char c = s[*at];
        if (c == '"') {
            std::string_view ignored;
            if (!ReadString(s, at, &ignored))
                return false;
            --*at;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth == 0)
                break;
            --depth;
        } else if (c == ',' && depth == 0) {
            break;
        }
    }
    *value = s.substr(start, *at - start);
    while (!value->empty() && (value->back() == ' ' || value->back() == '\t'))
        value->remove_suffix(1);
    return depth == 0;
}

bool WholeNumber(std::string_view text, int* out) {
    if (text.empty() || text.size() > 9)
        return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    *out = n;
    return true;
}

std::string Unescaped(std::string_view body) {
    std::string out;
    UnescapeJsonString(body, &out);
    return out;
}

}  // namespace

bool ParseCents(std::string_view text, int64_t* cents) {
    size_t at = 0;
    bool negative = at < text.size() && text[at] == '-';
    if (negative)
        ++at;
    int64_t whole = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (whole > (INT64_MAX / 1000))
            return false;
        whole = whole * 10 + (text[at] - '0');
    }
    if (digits == 0)
        return false;
    int64_t fraction = 0;  // thousandths, for rounding
    if (at < text.size() && text[at] == '.') {
        ++at;
        int place = 100;
        size_t fractionDigits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++fractionDigits) {
            fraction += (text[at] - '0') * place;
            place /= 10;
        }
        if (fractionDigits == 0)
            return false;
    }
    if (at != text.size())
        return false;  // exponents are not written by the record writers
    int64_t value = whole * 100 + (fraction + 5) / 10;
    *cents = negative ? -value : value;
    return true;
}

DigestRecordKind ReadDigestRecord(std::string_view line, DigestReceipt* receipt, DigestException* exception) {
    size_t at = 0;
    SkipBlanks(line, &at);
    if (at >= line.size() || line[at] != '{')
        return DigestRecordKind::kNone;
    ++at;
    std::string_view event, time, camera, cashier, kind, amount, total;
    bool cashierText = false, timeText = false, kindText = false;
    while (true) {
        SkipBlanks(line, &at);
        if (at < line.size() && line[at] == '}')
            break;
        std::string_view key, value;
        bool isString = false;
        if (at >= line.size() || line[at] != '"' || !ReadString(line, &at, &key))
            return DigestRecordKind::kNone;
        SkipBlanks(line, &at);
        if (at >= line.size() || line[at] != ':')
            return DigestRecordKind::kNone;
        ++at;
        if (!ReadValue(line, &at, &value, &isString))
            return DigestRecordKind::kNone;
        if (key == "event" && isString)
            event = value;
        else if (key == "time")
            time = value, timeText = isString;
        else if (key == "camera" && !isString)
            camera = value;
        else if (key == "cashier")
            cashier = value, cashierText = isString;
        else if (key == "kind")
            kind = value, kindText = isString;
        else if (key == "amount" && !isString)
            amount = value;
        else if (key == "total" && !isString)
            total = value;
        SkipBlanks(line, &at);
        if (at < line.size() && line[at] == ',')
            ++at;
        else if (at >= line.size() || line[at] != '}')
            return DigestRecordKind::kNone;
    }
    bool isReceipt = event == "transaction", isException = event == "exception";
    if (!isReceipt && !isException)
        return DigestRecordKind::kNone;
    int64_t utc = 0;
    int offset = 0, cameraNumber = 0;
    if (!timeText || !ParseRecordTime(time, &utc, &offset) || !WholeNumber(camera, &cameraNumber))
        return DigestRecordKind::kNone;
    std::string cashierName = cashierText ? Unescaped(cashier) : std::string();
    if (isReceipt) {
        *receipt = DigestReceipt();
        receipt->utcMilliseconds = utc;
        receipt->camera = cameraNumber;
        receipt->cashier = std::move(cashierName);
        receipt->hasTotal = ParseCents(total, &receipt->total);
        return DigestRecordKind::kReceipt;
    }
    if (!kindText)
        return DigestRecordKind::kNone;
    *exception = DigestException();
    exception->utcMilliseconds = utc;
    exception->camera = cameraNumber;
    exception->cashier = std::move(cashierName);
    exception->kind = Unescaped(kind);
    exception->hasAmount = ParseCents(amount, &exception->amount);
    return DigestRecordKind::kException;
}

namespace {

// Calls visit with each complete line of the day files that hold period (the local days it
// touches: a record's file is the local day it was written on), until visit returns false.
void ForEachPeriodLine(const std::string& folder, const DigestPeriod& period, const AlertClock& clock,
                       const std::function<bool(std::string_view)>& visit) {
    const int64_t kDay = 86400000;
    auto localDay = [&clock](int64_t utc) {
        int64_t local = utc + static_cast<int64_t>(clock.UtcOffsetMinutes(utc)) * 60000;
        return (local >= 0 ? local : local - kDay + 1) / kDay;
    };
    int64_t first = localDay(period.startUtcMilliseconds);
    int64_t last = localDay(period.endUtcMilliseconds - 1);
    for (int64_t day = first; day <= last; ++day) {
        JournalFileReader reader;
        if (!reader.Open(JoinPath(folder, JournalFileName(day))))
            continue;
        std::string_view block;
        uint64_t offset = 0;
        while (reader.Next(&block, &offset)) {
            size_t start = 0;
            while (start < block.size()) {
                size_t end = block.find('\n', start);
                if (end == std::string_view::npos)
                    end = block.size();
                if (!visit(block.substr(start, end - start)))
                    return;
                start = end + 1;
            }
        }
    }
}

}  // namespace

long AddJournalRecords(const std::string& folder, const DigestPeriod& period, const AlertClock& clock,
                       DailyDigest* digest) {
    long added = 0;
    ForEachPeriodLine(folder, period, clock, [&](std::string_view line) {
        // Cheap test first: most lines are delivered lines.
        if (line.find("\"event\"") == std::string_view::npos)
            return true;
        DigestReceipt receipt;
        DigestException exception;
        DigestRecordKind kind = ReadDigestRecord(line, &receipt, &exception);
        bool inside = false;
        if (kind == DigestRecordKind::kReceipt) {
            inside = receipt.utcMilliseconds >= period.startUtcMilliseconds &&
                     receipt.utcMilliseconds < period.endUtcMilliseconds;
            digest->Add(receipt);
        } else if (kind == DigestRecordKind::kException) {
            inside = exception.utcMilliseconds >= period.startUtcMilliseconds &&
                     exception.utcMilliseconds < period.endUtcMilliseconds;
            digest->Add(exception);
        }
        added += inside ? 1 : 0;
        return true;
    });
    return added;
}

bool JournalHasRecordsIn(const std::string& folder, const DigestPeriod& period, const AlertClock& clock) {
    static constexpr std::string_view kTime = "\"time\":\"";
    bool found = false;
    ForEachPeriodLine(folder, period, clock, [&](std::string_view line) {
        size_t at = line.find(kTime);
        int64_t utc = 0;
        int offset = 0;
        if (at != std::string_view::npos) {
            std::string_view rest = line.substr(at + kTime.size());
            size_t close = rest.find('"');
            found = close != std::string_view::npos &&
                    ParseRecordTime(rest.substr(0, close), &utc, &offset) &&
                    utc >= period.startUtcMilliseconds && utc < period.endUtcMilliseconds;
        }
        return !found;
    });
    return found;
}

}  // namespace zamri
