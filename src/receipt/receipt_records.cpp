#include "receipt/receipt_records.h"

#include <cstdio>

#include "text/civil_days.h"
#include "text/json_string.h"

namespace zamri {

namespace {

constexpr int64_t kDay = 86400000;

class Writer {
  public:
    Writer(std::string* o, const TextToUtf8& c) : out(o), convert(c) {}

    void Head(const char* event, int64_t utc, int32_t offset, int camera, const std::string& source,
              uint32_t receipt) {
        out->append("{\"event\":\"");
        out->append(event);
        out->append("\",\"time\":\"");
        out->append(FormatReceiptTime(utc, offset));
        out->append("\",\"camera\":");
        out->append(std::to_string(camera));
        Text("source", source);
        Number("receipt", receipt);
    }
    void Key(const char* key) {
        out->append(",\"");
        out->append(key);
        out->append("\":");
    }
    void Number(const char* key, int64_t value) {
        Key(key);
        out->append(std::to_string(value));
    }
    void Amount(const char* key, const std::optional<Money>& value) {
        Key(key);
        if (value.has_value())
            AppendMoneyJson(*value, out);
        else
            out->append("null");
    }
    void String(const std::string& text) {
        out->push_back('"');
        if (convert) {
            utf8.clear();
            convert(text, &utf8);
            AppendJsonEscaped(utf8, out);
        } else {
            AppendJsonEscaped(text, out);
        }
        out->push_back('"');
    }
    // An empty text is a field the receipt did not show.
    void Text(const char* key, const std::string& text, bool nullWhenEmpty = false) {
        Key(key);
        if (nullWhenEmpty && text.empty())
            out->append("null");
        else
            String(text);
    }
    void End() { out->append("}\n"); }
    std::string* out;

  private:
    const TextToUtf8& convert;
    std::string utf8;
};

}  // namespace

std::string FormatReceiptTime(int64_t utcMilliseconds, int32_t utcOffsetMinutes) {
    int64_t local = utcMilliseconds + static_cast<int64_t>(utcOffsetMinutes) * 60000;
    int64_t days = FloorDivide(local, kDay);
    int64_t inDay = local - days * kDay;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month, day,
                  static_cast<int>(inDay / 3600000), static_cast<int>(inDay / 60000 % 60),
                  static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000),
                  utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

void AppendDrawerRecord(const DrawerEvent& event, std::string* out, const TextToUtf8& convert) {
    Writer w(out, convert);
    w.Head("drawer", event.utcMilliseconds, event.utcOffsetMinutes, event.camera, event.source,
           event.receipt);
    w.End();
}

void AppendTransactionRecord(const Transaction& t, std::string* out, const TextToUtf8& convert) {
    Writer w(out, convert);
    w.Head("transaction", t.lastUtcMilliseconds, t.lastUtcOffsetMinutes, t.camera, t.source, t.receipt);
    w.Key("first");
    out->push_back('"');
    out->append(FormatReceiptTime(t.firstUtcMilliseconds, t.firstUtcOffsetMinutes));
    out->push_back('"');
    w.Number("lines", t.lines);
    w.Amount("subtotal", t.subtotal);
    w.Amount("total", t.total);
    w.Key("tenders");
    out->push_back('[');
    for (size_t i = 0; i < t.tenders.size(); ++i) {
        if (i > 0)
            out->push_back(',');
        out->append("{\"name\":");
        w.String(t.tenders[i].name);
        out->append(",\"amount\":");
        AppendMoneyJson(t.tenders[i].amount, out);
        out->push_back('}');
    }
    out->push_back(']');
    w.Amount("change", t.change);
    w.Text("cashier", t.cashier, true);
    w.Text("register", t.register_, true);
    w.Text("number", t.number, true);
    w.Number("voids", t.voids);
    w.Key("drawer");
    out->append(t.drawer ? "true" : "false");
    w.End();
}

void AppendExceptionRecord(const ReceiptException& e, std::string* out, const TextToUtf8& convert) {
    Writer w(out, convert);
    w.Head("exception", e.utcMilliseconds, e.utcOffsetMinutes, e.camera, e.source, e.receipt);
    w.Text("cashier", e.cashier, true);
    w.Text("kind", e.kind);
    w.Amount("amount", e.amount);
    w.Text("line", e.line, true);
    w.End();
}

}  // namespace zamri
