#include "receipt/receipt_records.h"

#include <cstdio>
#include <cstring>

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

// A reader for the records above: objects, one array of flat objects, strings, numbers,
// true, false and null. Unknown values are skipped, nested at most a few levels deep.
class Scanner {
  public:
    explicit Scanner(std::string_view line) : s(line) {}

    bool Take(char c) {
        Blanks();
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    bool Peek(char c) {
        Blanks();
        return pos < s.size() && s[pos] == c;
    }
    bool AtEnd() {
        Blanks();
        return pos == s.size();
    }
    // A string's body, escapes not yet resolved.
    bool String(std::string_view* body) {
        if (!Take('"'))
            return false;
        size_t start = pos;
        while (pos < s.size() && s[pos] != '"') {
            if (s[pos] == '\\')
                ++pos;
            ++pos;
        }
        if (pos >= s.size())
            return false;
        *body = s.substr(start, pos - start);
        ++pos;
        return true;
    }
    // A number or a literal, as written.
    bool Scalar(std::string_view* text) {
        Blanks();
        size_t start = pos;
        while (pos < s.size() && s[pos] != ',' && s[pos] != '}' && s[pos] != ']' && s[pos] != ' ' &&
               s[pos] != '"' && s[pos] != '{' && s[pos] != '[')
            ++pos;
        *text = s.substr(start, pos - start);
        return pos > start;
    }
    bool Skip(int depth = 0) {
        if (depth > 8)
            return false;
        std::string_view ignored;
        if (Peek('"'))
            return String(&ignored);
        if (Take('{')) {
            if (Take('}'))
                return true;
            do {
                if (!String(&ignored) || !Take(':') || !Skip(depth + 1))
                    return false;
            } while (Take(','));
            return Take('}');
        }
        if (Take('[')) {
            if (Take(']'))
                return true;
            do {
                if (!Skip(depth + 1))
                    return false;
            } while (Take(','));
            return Take(']');
        }
        return Scalar(&ignored);
    }

  private:
    void Blanks() {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r'))
            ++pos;
    }
    std::string_view s;
    size_t pos = 0;
};

unsigned Hex4(std::string_view s, size_t at, bool* ok) {
    unsigned v = 0;
    if (at + 4 > s.size()) {
        *ok = false;
        return 0;
    }
    for (size_t i = 0; i < 4; ++i) {
        char c = s[at + i];
        int h = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (h < 0) {
            *ok = false;
            return 0;
        }
        v = v * 16 + static_cast<unsigned>(h);
    }
    *ok = true;
    return v;
}

void AppendUtf8(unsigned cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Unescape(std::string_view body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c != '\\' || i + 1 >= body.size()) {
            out.push_back(c);
            continue;
        }
        char e = body[++i];
        switch (e) {
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'u': {
                bool ok = false;
                unsigned cp = Hex4(body, i + 1, &ok);
                if (!ok) {
                    out.append("\xEF\xBF\xBD");
                    break;
                }
                i += 4;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    bool lowOk = false;
                    unsigned low = 0;
                    if (i + 2 < body.size() && body[i + 1] == '\\' && body[i + 2] == 'u')
                        low = Hex4(body, i + 3, &lowOk);
                    if (lowOk && low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i += 6;
                    } else {
                        cp = 0xFFFD;
                    }
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    cp = 0xFFFD;
                }
                AppendUtf8(cp, &out);
                break;
            }
            default:
                out.push_back(e);
                break;
        }
    }
    return out;
}

bool Integer(std::string_view text, int64_t* value) {
    bool negative = !text.empty() && text[0] == '-';
    size_t i = negative ? 1 : 0;
    if (i >= text.size() || text.size() - i > 18)
        return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = negative ? -v : v;
    return true;
}

bool OptionalAmount(Scanner& scan, std::optional<Money>* value) {
    std::string_view text;
    if (!scan.Scalar(&text))
        return false;
    if (text == "null") {
        value->reset();
        return true;
    }
    Money m = 0;
    if (!ParseMoneyJson(text, &m))
        return false;
    *value = m;
    return true;
}

// A text that may be null (read as empty).
bool OptionalText(Scanner& scan, std::string* value) {
    std::string_view body;
    if (scan.Peek('"')) {
        if (!scan.String(&body))
            return false;
        *value = Unescape(body);
        return true;
    }
    if (!scan.Scalar(&body) || body != "null")
        return false;
    value->clear();
    return true;
}

bool Tenders(Scanner& scan, std::vector<Tender>* tenders) {
    tenders->clear();
    if (!scan.Take('['))
        return false;
    if (scan.Take(']'))
        return true;
    do {
        if (!scan.Take('{'))
            return false;
        Tender tender;
        bool hasAmount = false;
        if (!scan.Peek('}')) {
            do {
                std::string_view key;
                if (!scan.String(&key) || !scan.Take(':'))
                    return false;
                if (key == "name") {
                    if (!OptionalText(scan, &tender.name))
                        return false;
                } else if (key == "amount") {
                    std::optional<Money> amount;
                    if (!OptionalAmount(scan, &amount) || !amount.has_value())
                        return false;
                    tender.amount = *amount;
                    hasAmount = true;
                } else if (!scan.Skip()) {
                    return false;
                }
            } while (scan.Take(','));
        }
        if (!scan.Take('}') || !hasAmount)
            return false;
        tenders->push_back(std::move(tender));
    } while (scan.Take(','));
    return scan.Take(']');
}

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

bool ParseReceiptTime(std::string_view t, int64_t* utcMilliseconds, int32_t* utcOffsetMinutes) {
    if (t.size() != 29 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != '.' || (t[23] != '+' && t[23] != '-') || t[26] != ':')
        return false;
    auto digits = [&t](size_t at, size_t count, int* value) {
        int v = 0;
        for (size_t i = 0; i < count; ++i) {
            char c = t[at + i];
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + (c - '0');
        }
        *value = v;
        return true;
    };
    int year, month, day, hour, minute, second, milli, oh, om;
    if (!digits(0, 4, &year) || !digits(5, 2, &month) || !digits(8, 2, &day) || !digits(11, 2, &hour) ||
        !digits(14, 2, &minute) || !digits(17, 2, &second) || !digits(20, 3, &milli) || !digits(24, 2, &oh) ||
        !digits(27, 2, &om))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    int offset = (oh * 60 + om) * (t[23] == '-' ? -1 : 1);
    int64_t local = DaysFromCivil(year, month, day) * kDay + hour * 3600000LL + minute * 60000LL +
                    second * 1000LL + milli;
    *utcMilliseconds = local - offset * 60000LL;
    *utcOffsetMinutes = offset;
    return true;
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

bool ReadReceiptRecord(std::string_view line, ReceiptRecord* record) {
    // Most lines of a journal are line records: they go without being parsed.
    if (line.find("\"event\"") == std::string_view::npos)
        return false;
    *record = ReceiptRecord();
    Scanner scan(line);
    if (!scan.Take('{'))
        return false;
    std::string event, source, time, first;
    int64_t camera = 0, receipt = 0;
    bool hasTime = false, hasCamera = false, hasFirst = false;
    Transaction& t = record->transaction;
    ReceiptException& e = record->exception;
    if (!scan.Peek('}')) {
        do {
            std::string_view key;
            if (!scan.String(&key) || !scan.Take(':'))
                return false;
            std::string_view scalar;
            int64_t number = 0;
            bool ok = true;
            if (key == "event") {
                ok = OptionalText(scan, &event);
            } else if (key == "time") {
                ok = OptionalText(scan, &time);
                hasTime = true;
            } else if (key == "first") {
                ok = OptionalText(scan, &first);
                hasFirst = true;
            } else if (key == "camera") {
                ok = scan.Scalar(&scalar) && Integer(scalar, &camera);
                hasCamera = true;
            } else if (key == "source") {
                ok = OptionalText(scan, &source);
            } else if (key == "receipt") {
                ok = scan.Scalar(&scalar) && Integer(scalar, &receipt) && receipt >= 0;
            } else if (key == "lines" || key == "voids") {
                ok = scan.Scalar(&scalar) && Integer(scalar, &number) && number >= 0 && number <= 1 << 30;
                (key == "lines" ? t.lines : t.voids) = static_cast<int>(number);
            } else if (key == "subtotal") {
                ok = OptionalAmount(scan, &t.subtotal);
            } else if (key == "total") {
                ok = OptionalAmount(scan, &t.total);
            } else if (key == "change") {
                ok = OptionalAmount(scan, &t.change);
            } else if (key == "tenders") {
                ok = Tenders(scan, &t.tenders);
            } else if (key == "cashier") {
                ok = OptionalText(scan, &t.cashier);
            } else if (key == "register") {
                ok = OptionalText(scan, &t.register_);
            } else if (key == "number") {
                ok = OptionalText(scan, &t.number);
            } else if (key == "drawer") {
                ok = scan.Scalar(&scalar) && (scalar == "true" || scalar == "false");
                t.drawer = scalar == "true";
            } else if (key == "kind") {
                ok = OptionalText(scan, &e.kind);
            } else if (key == "amount") {
                ok = OptionalAmount(scan, &e.amount);
            } else if (key == "line") {
                ok = OptionalText(scan, &e.line);
            } else {
                ok = scan.Skip();
            }
            if (!ok)
                return false;
        } while (scan.Take(','));
    }
    if (!scan.Take('}') || !scan.AtEnd() || !hasTime || !hasCamera)
        return false;
    int64_t utc = 0;
    int32_t offset = 0;
    if (!ParseReceiptTime(time, &utc, &offset))
        return false;
    DrawerEvent head;
    head.utcMilliseconds = utc;
    head.utcOffsetMinutes = offset;
    head.camera = static_cast<int>(camera);
    head.source = source;
    head.receipt = static_cast<uint32_t>(receipt);
    if (event == "drawer") {
        record->kind = ReceiptRecordKind::Drawer;
        record->drawer = head;
    } else if (event == "transaction") {
        record->kind = ReceiptRecordKind::Transaction;
        t.camera = head.camera;
        t.source = head.source;
        t.receipt = head.receipt;
        t.lastUtcMilliseconds = utc;
        t.lastUtcOffsetMinutes = offset;
        t.firstUtcMilliseconds = utc;
        t.firstUtcOffsetMinutes = offset;
        if (hasFirst && !ParseReceiptTime(first, &t.firstUtcMilliseconds, &t.firstUtcOffsetMinutes))
            return false;
    } else if (event == "exception") {
        record->kind = ReceiptRecordKind::Exception;
        e.utcMilliseconds = utc;
        e.utcOffsetMinutes = offset;
        e.camera = head.camera;
        e.source = head.source;
        e.receipt = head.receipt;
        e.cashier = t.cashier;
        if (e.kind.empty())
            return false;
    } else {
        return false;
    }
    return true;
}

}  // namespace zamri
