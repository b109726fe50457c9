#include "alert/daily_digest.h"

#include "journal/journal_record.h"
#include "text/json_string.h"

namespace zamri {

namespace {

// Two decimals, as people and spreadsheets read money: "-25.00", "4180.35".
std::string CentsText(int64_t cents) {
    bool negative = cents < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(cents) : static_cast<uint64_t>(cents);
    std::string text = std::to_string(magnitude / 100);
    unsigned rest = static_cast<unsigned>(magnitude % 100);
    text += '.';
    text += static_cast<char>('0' + rest / 10);
    text += static_cast<char>('0' + rest % 10);
    return negative ? "-" + text : text;
}

bool AllDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

void AppendCsvText(const std::string& text, std::string* out) {
    std::string value = text;
    if (!value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@'))
        value = "'" + value;
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        *out += value;
        return;
    }
    *out += '"';
    for (char c : value) {
        if (c == '"')
            *out += '"';
        *out += c;
    }
    *out += '"';
}

}  // namespace

bool DailyDigest::CashierOrder::operator()(const std::string& a, const std::string& b) const {
    if (a.empty() || b.empty())
        return !a.empty() && b.empty();
    bool da = AllDigits(a), db = AllDigits(b);
    if (da && db) {
        size_t za = a.find_first_not_of('0'), zb = b.find_first_not_of('0');
        std::string ta = za == std::string::npos ? "" : a.substr(za);
        std::string tb = zb == std::string::npos ? "" : b.substr(zb);
        if (ta.size() != tb.size())
            return ta.size() < tb.size();
        if (ta != tb)
            return ta < tb;
        return a < b;
    }
    if (da != db)
        return da;
    return a < b;
}

DailyDigest::DailyDigest(const DigestPeriod& period, const AlertClock& clock)
    : period(period), clock(clock) {}

bool DailyDigest::Inside(int64_t utc) const {
    return utc >= period.startUtcMilliseconds && utc < period.endUtcMilliseconds;
}

void DailyDigest::Add(const DigestReceipt& receipt) {
    if (!Inside(receipt.utcMilliseconds))
        return;
    for (Group* group : {&store, &cashiers[receipt.cashier], &cameras[receipt.camera]}) {
        ++group->receipts;
        if (receipt.hasTotal)
            group->total += receipt.total;
    }
}

void DailyDigest::Add(const DigestException& exception) {
    if (!Inside(exception.utcMilliseconds))
        return;
    for (Group* group : {&store, &cashiers[exception.cashier], &cameras[exception.camera]}) {
        Kind& kind = group->kinds[exception.kind];
        ++kind.count;
        if (exception.hasAmount) {
            kind.hasAmount = true;
            kind.amount += exception.amount;
        }
    }
}

void DailyDigest::AppendGroupJson(const Group& group, std::string* out) {
    *out += "\"receipts\":" + std::to_string(group.receipts) + ",\"total\":" + CentsText(group.total) +
            ",\"exceptions\":[";
    bool first = true;
    for (const auto& entry : group.kinds) {
        *out += first ? "{\"kind\":\"" : ",{\"kind\":\"";
        first = false;
        AppendJsonEscaped(entry.first, out);
        *out += "\",\"count\":" + std::to_string(entry.second.count) + ",\"amount\":";
        *out += entry.second.hasAmount ? CentsText(entry.second.amount) : "null";
        *out += '}';
    }
    *out += ']';
}

std::string DailyDigest::Json() const {
    std::string out = "{\"event\":\"digest\",\"date\":\"" + DigestDateText(period) + "\",\"from\":\"";
    out += FormatRecordTime(period.startUtcMilliseconds, clock.UtcOffsetMinutes(period.startUtcMilliseconds));
    out += "\",\"to\":\"";
    out += FormatRecordTime(period.endUtcMilliseconds, clock.UtcOffsetMinutes(period.endUtcMilliseconds));
    out += "\",";
    AppendGroupJson(store, &out);
    out += ",\"cashiers\":[";
    bool first = true;
    for (const auto& entry : cashiers) {
        out += first ? "{\"cashier\":" : ",{\"cashier\":";
        first = false;
        if (entry.first.empty()) {
            out += "null";
        } else {
            out += '"';
            AppendJsonEscaped(entry.first, &out);
            out += '"';
        }
        out += ',';
        AppendGroupJson(entry.second, &out);
        out += '}';
    }
    out += "],\"cameras\":[";
    first = true;
    for (const auto& entry : cameras) {
        out += first ? "{\"camera\":" : ",{\"camera\":";
        first = false;
        out += std::to_string(entry.first) + ",";
        AppendGroupJson(entry.second, &out);
        out += '}';
    }
    out += "]}";
    return out;
}

void DailyDigest::AppendGroupCsv(const char* kind, const std::string& name, const Group& group,
                                 std::string* out) const {
    std::string date = DigestDateText(period);
    *out += date + "," + kind + ",";
    AppendCsvText(name, out);
    *out += "," + std::to_string(group.receipts) + "," + CentsText(group.total) + ",,,\r\n";
    for (const auto& entry : group.kinds) {
        *out += date + "," + kind + ",";
        AppendCsvText(name, out);
        *out += ",,,";
        AppendCsvText(entry.first, out);
        *out += "," + std::to_string(entry.second.count) + ",";
        if (entry.second.hasAmount)
            *out += CentsText(entry.second.amount);
        *out += "\r\n";
    }
}

std::string DailyDigest::Csv() const {
    std::string out =
        "\xEF\xBB\xBF"
        "date,group,name,receipts,total,exception,count,amount\r\n";
    AppendGroupCsv("store", "", store, &out);
    for (const auto& entry : cashiers)
        AppendGroupCsv("cashier", entry.first, entry.second, &out);
    for (const auto& entry : cameras)
        AppendGroupCsv("camera", std::to_string(entry.first), entry.second, &out);
    return out;
}

}  // namespace zamri
