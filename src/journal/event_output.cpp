#include "journal/event_output.h"

#include <algorithm>
#include <cstdio>

#include "text/csv_field.h"

namespace zamri {

namespace {

const char* const kBuiltInKinds[] = {"void", "refund", "no-sale", "discount", "price-override", "cancel"};
const char kUnknownCashier[] = "(unknown)";

std::string Amount(const std::optional<double>& amount) {
    return amount ? FormatAmount(*amount) : std::string();
}

std::string Whole(const std::optional<int64_t>& number) {
    return number ? std::to_string(*number) : std::string();
}

std::string TenderList(const std::vector<RecordTender>& tenders) {
    std::string text;
    for (const RecordTender& tender : tenders) {
        if (!text.empty())
            text.append("; ");
        text.append(tender.name);
        if (tender.amount)
            text.append(tender.name.empty() ? "" : " ").append(FormatAmount(*tender.amount));
    }
    return text;
}

void CsvRow(const std::vector<std::string>& fields, std::string* out) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out->push_back(',');
        AppendCsvField(fields[i], out);
    }
    out->append("\r\n");
}

// "2026-12-08 14:02:11.300" from the stored time.
std::string ShownTime(const std::string& time) {
    std::string shown = time.substr(0, 23);
    if (shown.size() > 10)
        shown[10] = ' ';
    return shown;
}

void Labelled(const char* label, const std::string& value, std::string* out) {
    if (value.empty())
        return;
    out->append("  ").append(label).append(value);
}

}  // namespace

std::string FormatAmount(double amount) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", amount);
    // Rounding a small negative amount gives "-0.00".
    return std::string(text) == "-0.00" ? "0.00" : text;
}

void AppendEventCsvHeader(const std::string& event, std::string* out) {
    if (event == "transaction")
        CsvRow({"time", "camera", "source", "receipt", "number", "cashier", "register", "total", "change",
                "tenders", "lines", "voids", "drawer"},
               out);
    else if (event == "health")
        CsvRow({"time", "camera", "source", "receipt", "kind", "state", "detail"}, out);
    else
        CsvRow({"time", "camera", "source", "receipt", "kind", "amount", "cashier", "line"}, out);
}

void AppendEventCsvRow(const EventRecord& r, std::string* out) {
    if (r.event == "transaction")
        CsvRow({r.time, std::to_string(r.camera), r.source, Whole(r.receipt), r.number, r.cashier,
                r.registerId, Amount(r.total), Amount(r.change), TenderList(r.tenders), Whole(r.lines),
                Whole(r.voids), r.drawer ? (*r.drawer ? "true" : "false") : ""},
               out);
    else if (r.event == "health")
        CsvRow({r.time, std::to_string(r.camera), r.source, Whole(r.receipt), r.kind, r.state, r.detail},
               out);
    else
        CsvRow({r.time, std::to_string(r.camera), r.source, Whole(r.receipt), r.kind, Amount(r.amount),
                r.cashier, r.line},
               out);
}

void AppendEventLine(const EventRecord& r, std::string* out) {
    out->append(ShownTime(r.time));
    out->append("  camera ").append(std::to_string(r.camera));
    Labelled("receipt ", Whole(r.receipt), out);
    Labelled("", r.source, out);
    if (r.event == "transaction") {
        Labelled("no. ", r.number, out);
        Labelled("total ", Amount(r.total), out);
        Labelled("", TenderList(r.tenders), out);
        Labelled("change ", Amount(r.change), out);
        Labelled("cashier ", r.cashier, out);
        Labelled("register ", r.registerId, out);
        Labelled("lines ", Whole(r.lines), out);
        Labelled("voids ", Whole(r.voids), out);
        if (r.drawer)
            out->append(*r.drawer ? "  drawer opened" : "  drawer closed");
    } else {
        Labelled("", r.kind.empty() ? r.event : r.kind, out);
        Labelled("", Amount(r.amount), out);
        Labelled("cashier ", r.cashier, out);
        Labelled("", r.line, out);
        Labelled("", r.state, out);
        Labelled("", r.detail, out);
    }
    out->push_back('\n');
}

void ExceptionReport::Add(const EventRecord& e) {
    for (Tally* tally : {&all, &byCashier[e.cashier.empty() ? kUnknownCashier : e.cashier],
                         &byCamera[e.camera], &byDay[e.time.substr(0, 10)]}) {
        tally->count++;
        tally->amount += e.amount.value_or(0);
        tally->kinds[e.kind]++;
    }
}

std::vector<std::string> ExceptionReport::Kinds() const {
    std::vector<std::string> kinds;
    for (const char* kind : kBuiltInKinds)
        if (all.kinds.count(kind) != 0)
            kinds.push_back(kind);
    for (const auto& [kind, count] : all.kinds)
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end())
            kinds.push_back(kind.empty() ? "(none)" : kind);
    return kinds;
}

std::vector<ExceptionReport::Row> ExceptionReport::Rows() const {
    std::vector<Row> rows;
    for (const auto& [cashier, tally] : byCashier)
        rows.push_back({"cashier", cashier, &tally});
    for (const auto& [camera, tally] : byCamera)
        rows.push_back({"camera", std::to_string(camera), &tally});
    for (const auto& [day, tally] : byDay)
        rows.push_back({"day", day, &tally});
    rows.push_back({"all", "", &all});
    return rows;
}

void ExceptionReport::AppendTable(const std::string& title, std::string* out) const {
    std::vector<std::string> kinds = Kinds();
    std::vector<Row> rows = Rows();
    size_t keyWidth = 10;
    for (const Row& row : rows)
        keyWidth = std::max(keyWidth, row.key.size() + 2);
    std::vector<size_t> widths;
    for (const std::string& kind : kinds)
        widths.push_back(std::max<size_t>(kind.size(), 5));
    out->append(title).push_back('\n');
    const char* section = "";
    char cell[64];
    for (const Row& row : rows) {
        if (std::string(section) != row.by) {
            section = row.by;
            std::string heading = row.key.empty() ? "All" : std::string("By ") + row.by;
            out->append("\n").append(heading).append(
                keyWidth + 2 > heading.size() ? keyWidth + 2 - heading.size() : 1, ' ');
            out->append("count      amount");
            for (size_t i = 0; i < kinds.size(); ++i)
                out->append("  ").append(widths[i] - kinds[i].size(), ' ').append(kinds[i]);
            out->push_back('\n');
        }
        out->append("  ").append(row.key).append(keyWidth - row.key.size(), ' ');
        std::snprintf(cell, sizeof cell, "%5llu %11s", static_cast<unsigned long long>(row.tally->count),
                      FormatAmount(row.tally->amount).c_str());
        out->append(cell);
        for (size_t i = 0; i < kinds.size(); ++i) {
            auto found = row.tally->kinds.find(kinds[i] == "(none)" ? std::string() : kinds[i]);
            std::snprintf(
                cell, sizeof cell, "  %*llu", static_cast<int>(widths[i]),
                static_cast<unsigned long long>(found == row.tally->kinds.end() ? 0 : found->second));
            out->append(cell);
        }
        out->push_back('\n');
    }
}

void ExceptionReport::AppendCsv(std::string* out) const {
    std::vector<std::string> kinds = Kinds();
    std::vector<std::string> fields = {"by", "key", "count", "amount"};
    fields.insert(fields.end(), kinds.begin(), kinds.end());
    CsvRow(fields, out);
    for (const Row& row : Rows()) {
        fields = {row.by, row.key, std::to_string(row.tally->count), FormatAmount(row.tally->amount)};
        for (const std::string& kind : kinds) {
            auto found = row.tally->kinds.find(kind == "(none)" ? std::string() : kind);
            fields.push_back(std::to_string(found == row.tally->kinds.end() ? 0 : found->second));
        }
        CsvRow(fields, out);
    }
}

}  // namespace zamri
