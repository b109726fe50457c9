// Fuzz target: any bytes as a user's pattern (the first line) and the printed lines after it
// (a line beginning with a form feed ends its receipt, one beginning with BEL opens the drawer).
// Properties: a pattern that compiles matches with its value inside the line; every line goes
// through the built-in template and rules, with the pattern as a rule when it compiles; every
// record the reader makes reads back with the same fields; no line is taken for a record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/event_record.h"
#include "receipt/receipt_reader.h"
#include "receipt/receipt_records.h"

using namespace zamri;

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Page 1252 bytes as UTF-8, byte for byte (enough to keep every record valid).
void Latin1(std::string_view text, std::string* out) {
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out->push_back(ch);
        } else {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

std::string Utf8(const std::string& text) {
    std::string out;
    Latin1(text, &out);
    return out;
}

std::optional<double> Units(const std::optional<Money>& m) {
    if (!m.has_value())
        return std::nullopt;
    return static_cast<double>(*m) / 100.0;
}

// What the receipt reader writes, the journal reads back with the same fields.
void CheckRecords(const ReadReceipt& r) {
    std::string line;
    AppendTransactionRecord(r.transaction, &line, Latin1);
    EventRecord back;
    Check(ParseEventRecord(std::string_view(line).substr(0, line.size() - 1), &back));
    const Transaction& a = r.transaction;
    Check(back.event == "transaction" && back.camera == a.camera && back.receipt == a.receipt &&
          back.lines == a.lines && back.total == Units(a.total) && back.subtotal == Units(a.subtotal) &&
          back.change == Units(a.change) && back.voids == a.voids && back.drawer == a.drawer &&
          back.tenders.size() == a.tenders.size() && back.cashier == Utf8(a.cashier) &&
          back.number == Utf8(a.number) && back.registerId == Utf8(a.register_) &&
          back.utcMilliseconds == a.lastUtcMilliseconds);
    for (const ReceiptException& e : r.exceptions) {
        line.clear();
        AppendExceptionRecord(e, &line, Latin1);
        Check(ParseEventRecord(std::string_view(line).substr(0, line.size() - 1), &back));
        Check(back.event == "exception" && back.kind == Utf8(e.kind) && back.amount == Units(e.amount) &&
              back.line == Utf8(e.line) && back.utcMilliseconds == e.utcMilliseconds);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t newline = input.find('\n');
    std::string pattern(input.substr(0, newline));
    std::string_view rest =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    TextFolder folder(1252);
    LinePattern whole;
    bool compiled = whole.Compile(pattern, LinePattern::Scope::WholeLine, folder, nullptr) == 1;
    SettingSection rule;
    rule.number = 1;
    rule.keys = {{"Name", "Fuzzed"}, {"Line", pattern}};
    SettingSection sequence;
    sequence.number = 2;
    sequence.keys = {{"Name", "Then"}, {"First", "Fuzzed"}, {"Then", "void"}, {"Within", "5"}};
    SettingSection field;
    field.number = 3;
    field.keys = {{"Name", "Field"}, {"Match", "total > 1 and cashier != 3 and tender = CASH"}};
    auto rules = ExceptionRules::Compile(ExceptionOptions(), {rule, sequence, field}, 1252, nullptr);
    Check(rules->Rules().size() == (compiled ? 3u : 1u));

    ReceiptReader reader(std::make_shared<const ReceiptTemplate>(1252), rules);
    std::vector<ReadReceipt> done;
    PatternScratch scratch;
    FoldedLine folded;
    uint32_t receipt = 1;
    bool open = false;
    int64_t now = 1796734800000;
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('\n', start);
        if (end == std::string_view::npos)
            end = rest.size();
        std::string text(rest.substr(start, std::min<size_t>(end - start, 1023)));
        start = end + 1;
        now += 700;
        EventRecord record;
        Check(!ParseEventRecord(text, &record) || text.find("\"event\"") != std::string::npos);
        if (compiled) {
            folder.Fold(text, &folded);
            PatternMatch m;
            if (whole.Match(folded, &scratch, &m) && m.hasValue)
                Check(m.valueBegin < m.valueEnd && m.valueEnd <= folded.text.size());
        }
        if (!text.empty() && text[0] == '\a') {
            DrawerEvent event;
            event.utcMilliseconds = now;
            event.receipt = receipt;
            reader.Drawer(event, &done);
        } else {
            bool ends = !text.empty() && text[0] == '\f';
            ReceiptLine line;
            line.text = text;
            line.flags = (open ? 0 : kReceiptFirstLine) | (ends ? kReceiptEndLine : 0);
            line.utcMilliseconds = now;
            line.receipt = receipt;
            int flags = reader.Line(line, &done);
            Check(flags == 0 || flags == kReceiptImportantLine);
            open = !ends;
            if (ends)
                ++receipt;
        }
        reader.Tick(&done);
    }
    reader.Flush(&done);
    for (const ReadReceipt& r : done)
        CheckRecords(r);
    return 0;
}
