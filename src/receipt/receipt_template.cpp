#include "receipt/receipt_template.h"

#include <cstring>

#include "receipt/builtin_template.h"
#include "text/setting_value.h"

namespace zamri {

namespace {

// The keys of a [Template N] section, in ReceiptField order (PaymentSlip has none).
const char* const kFieldKeys[kReceiptFieldCount] = {
    "Total", "Subtotal", "Tender",   "Change",        "Cashier", "Register", "Number",
    "Void",  "Refund",   "Discount", "PriceOverride", "NoSale",  "Cancel",   nullptr};

// The alternatives of a value, split at each | that is not written \|.
std::vector<std::string> Alternatives(const std::string& value) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            parts.back().push_back(c);
            parts.back().push_back(value[++i]);
        } else if (c == '|') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

bool NeedsAmount(ReceiptField f) {
    return f == ReceiptField::Total || f == ReceiptField::Subtotal || f == ReceiptField::Change ||
           f == ReceiptField::Tender;
}
bool NeedsValue(ReceiptField f) {
    return f == ReceiptField::Cashier || f == ReceiptField::Register || f == ReceiptField::Number;
}
bool TakesAmount(ReceiptField f) {
    return f != ReceiptField::NoSale && !NeedsValue(f);
}

}  // namespace

const char* ReceiptFieldName(ReceiptField field) {
    int i = static_cast<int>(field);
    if (field == ReceiptField::PaymentSlip)
        return "PaymentSlip";
    return i >= 0 && i < kReceiptFieldCount ? kFieldKeys[i] : "";
}

ReceiptTemplate::ReceiptTemplate(int codePage) : folder(codePage) {}

std::shared_ptr<const ReceiptTemplate> ReceiptTemplate::Compile(const SettingSection& section, int codePage,
                                                                std::vector<std::string>* errors) {
    auto result = std::make_shared<ReceiptTemplate>(codePage);
    ReceiptTemplate& t = *result;
    t.number = section.number;
    std::string where = "[Template " + std::to_string(section.number) + "]";
    auto report = [errors](const std::string& text) {
        if (errors != nullptr)
            errors->push_back(text);
    };
    for (const SettingPair& pair : section.keys) {
        if (SameSettingKey(pair.key, "Name")) {
            t.name = pair.value;
            continue;
        }
        if (SameSettingKey(pair.key, "Builtin")) {
            if (pair.value == "0" || pair.value == "1")
                t.builtin = pair.value == "1";
            else
                report(where + " Builtin: \"" + pair.value + "\" is neither 1 nor 0.");
            continue;
        }
        int field = -1;
        for (int f = 0; f < kReceiptFieldCount; ++f)
            if (kFieldKeys[f] != nullptr && SameSettingKey(pair.key, kFieldKeys[f]))
                field = f;
        if (field < 0) {
            report(where + " has no key \"" + pair.key +
                   "\": the keys are Name, Builtin, Total, Subtotal, Tender, Change, Cashier, Register, "
                   "Number, Void, Refund, Discount, PriceOverride, NoSale and Cancel.");
            continue;
        }
        ReceiptField f = static_cast<ReceiptField>(field);
        std::string key = where + " " + kFieldKeys[field] + ": ";
        std::vector<FieldPattern> compiled;
        bool ok = true;
        for (const std::string& alternative : Alternatives(pair.value)) {
            FieldPattern fp;
            fp.field = f;
            std::string error;
            if (fp.pattern.Compile(alternative, LinePattern::Scope::WholeLine, t.folder, &error) == 0) {
                report(key + error);
                ok = false;
                break;
            }
            const char* problem = nullptr;
            if (NeedsAmount(f) && !fp.pattern.HasAmount())
                problem = " has no {amount}, which this field needs.";
            else if (NeedsValue(f) && !fp.pattern.HasValue())
                problem = " has none of {text}, {word} and {number}, one of which this field needs.";
            else if (!TakesAmount(f) && fp.pattern.HasAmount())
                problem = " has an {amount}, which this field does not take.";
            else if (fp.pattern.HasValue() && !NeedsValue(f) && f != ReceiptField::Tender)
                problem = " has a {text}, {word} or {number}, which this field does not take.";
            else if (f == ReceiptField::Tender && !fp.pattern.HasValue() && fp.pattern.Lead().empty())
                problem = " names no tender: write its name before {amount}, or take it with {word}.";
            if (problem != nullptr) {
                report(key + "The pattern \"" + alternative + "\"" + problem);
                ok = false;
                break;
            }
            compiled.push_back(std::move(fp));
        }
        if (!ok)
            continue;
        t.userField[field] = true;
        for (FieldPattern& fp : compiled)
            t.patterns.push_back(std::move(fp));
    }
    return result;
}

void ReceiptTemplate::Read(const FoldedLine& line, std::string_view original, const ReadContext& context,
                           PatternScratch* scratch, LineReadings* out) const {
    out->Clear();
    for (const FieldPattern& fp : patterns) {
        if (out->Has(fp.field))
            continue;  // the first alternative that matches reads the field
        PatternMatch m;
        if (!fp.pattern.Match(line, scratch, &m))
            continue;
        LineReading* r = out->Add(fp.field);
        if (r == nullptr)
            break;
        r->hasAmount = m.hasAmount;
        r->amount = m.amount;
        if (m.hasValue)
            r->text.assign(line.Original(original, m.valueBegin, m.valueEnd));
        else if (fp.field == ReceiptField::Tender)
            r->text = fp.pattern.Lead();
        if (m.hasAmount)
            out->amountSeen = true;
    }
    if (!builtin) {
        if (!out->amountSeen)
            out->amountSeen = HasPrintedAmount(line);
        return;
    }
    int first = out->count;
    ReadBuiltinLine(line, original, out);
    // What the built-in template may say here: not a field the user's patterns read, tenders
    // and change only after the total, and none of the card slip's numbers.
    int kept = first;
    bool totalSeen = context.totalSeen;
    for (int i = first; i < out->count; ++i) {
        ReceiptField f = out->items[i].field;
        bool allowed = !userField[static_cast<int>(f)];
        if (f == ReceiptField::Total && allowed)
            totalSeen = true;  // "TOTAL 12.50  CASH 20.00" on one line
        if ((f == ReceiptField::Tender || f == ReceiptField::Change || f == ReceiptField::PaymentSlip) &&
            !totalSeen)
            allowed = false;
        if ((f == ReceiptField::Cashier || f == ReceiptField::Register || f == ReceiptField::Number) &&
            context.inSlip)
            allowed = false;
        if (!allowed)
            continue;
        if (kept != i)
            std::swap(out->items[kept], out->items[i]);
        ++kept;
    }
    out->count = kept;
}

}  // namespace zamri
