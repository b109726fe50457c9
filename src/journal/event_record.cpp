#include "journal/event_record.h"

#include <charconv>
#include <cstring>
#include <type_traits>

#include "journal/journal_record.h"
#include "text/json_string.h"

namespace zamri {

namespace {

// Values nested deeper than this (in keys the reader does not know) make a record unreadable.
constexpr int kDeepestValue = 8;

class JsonCursor {
  public:
    explicit JsonCursor(std::string_view text) : s(text) {}

    void Blanks() {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r' || s[pos] == '\n'))
            ++pos;
    }
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
    // A string's body, escapes not resolved.
    bool StringBody(std::string_view* body) {
        if (!Take('"'))
            return false;
        size_t start = pos;
        while (pos < s.size() && s[pos] != '"') {
            if (static_cast<unsigned char>(s[pos]) < 0x20)
                return false;
            pos += s[pos] == '\\' ? 2 : 1;
        }
        if (pos >= s.size())
            return false;
        *body = s.substr(start, pos - start);
        ++pos;
        return true;
    }
    bool String(std::string* out) {
        std::string_view body;
        if (!StringBody(&body))
            return false;
        UnescapeJsonString(body, out);
        return true;
    }
    bool Word(const char* word) {
        Blanks();
        size_t n = std::strlen(word);
        if (s.substr(pos, n) != word)
            return false;
        pos += n;
        return true;
    }
    bool Null() { return Word("null"); }
    bool Number(double* value) {
        Blanks();
        const char* begin = s.data() + pos;
        auto [end, ec] = std::from_chars(begin, s.data() + s.size(), *value);
        if (ec != std::errc() || end == begin)
            return false;
        pos += static_cast<size_t>(end - begin);
        return true;
    }
    bool Integer(int64_t* value) {
        Blanks();
        const char* begin = s.data() + pos;
        auto [end, ec] = std::from_chars(begin, s.data() + s.size(), *value);
        if (ec != std::errc() || end == begin || (end < s.data() + s.size() && (*end == '.' || *end == 'e')))
            return false;
        pos += static_cast<size_t>(end - begin);
        return true;
    }
    bool Skip(int depth) {
        if (depth > kDeepestValue)
            return false;
        Blanks();
        if (Peek('"')) {
            std::string_view ignored;
            return StringBody(&ignored);
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
        if (Take('{')) {
            if (Take('}'))
                return true;
            do {
                std::string_view key;
                if (!StringBody(&key) || !Take(':') || !Skip(depth + 1))
                    return false;
            } while (Take(','));
            return Take('}');
        }
        double number = 0;
        return Word("null") || Word("true") || Word("false") || Number(&number);
    }

  private:
    std::string_view s;
    size_t pos = 0;
};

bool OptionalText(JsonCursor& c, std::string* out) {
    out->clear();
    if (c.Null())
        return true;
    if (c.Peek('"'))
        return c.String(out);
    // A till's number written as a JSON number is still its text.
    int64_t whole = 0;
    if (!c.Integer(&whole))
        return false;
    *out = std::to_string(whole);
    return true;
}

template <typename T>
bool OptionalNumber(JsonCursor& c, std::optional<T>* out) {
    out->reset();
    if (c.Null())
        return true;
    T value{};
    bool ok;
    if constexpr (std::is_same_v<T, double>)
        ok = c.Number(&value);
    else
        ok = c.Integer(&value);
    if (ok)
        *out = value;
    return ok;
}

bool Tenders(JsonCursor& c, std::vector<RecordTender>* tenders) {
    tenders->clear();
    if (c.Null())
        return true;
    if (!c.Take('['))
        return false;
    if (c.Take(']'))
        return true;
    do {
        RecordTender tender;
        if (!c.Take('{'))
            return false;
        if (!c.Take('}')) {
            do {
                std::string key;
                if (!c.String(&key) || !c.Take(':'))
                    return false;
                bool ok = key == "name"     ? OptionalText(c, &tender.name)
                          : key == "amount" ? OptionalNumber(c, &tender.amount)
                                            : c.Skip(2);
                if (!ok)
                    return false;
            } while (c.Take(','));
            if (!c.Take('}'))
                return false;
        }
        tenders->push_back(std::move(tender));
    } while (c.Take(','));
    return c.Take(']');
}

bool Field(JsonCursor& c, const std::string& key, EventRecord* r, bool* hasCamera) {
    if (key == "event")
        return c.String(&r->event);
    if (key == "time")
        return c.String(&r->time);
    if (key == "camera") {
        int64_t camera = 0;
        *hasCamera = c.Integer(&camera) && camera >= 0 && camera <= 1000;
        r->camera = static_cast<int>(camera);
        return *hasCamera;
    }
    if (key == "source")
        return OptionalText(c, &r->source);
    if (key == "receipt")
        return OptionalNumber(c, &r->receipt);
    if (key == "kind")
        return OptionalText(c, &r->kind);
    if (key == "amount")
        return OptionalNumber(c, &r->amount);
    if (key == "line")
        return OptionalText(c, &r->line);
    if (key == "state")
        return OptionalText(c, &r->state);
    if (key == "detail")
        return OptionalText(c, &r->detail);
    if (key == "first")
        return OptionalText(c, &r->first);
    if (key == "total")
        return OptionalNumber(c, &r->total);
    if (key == "subtotal")
        return OptionalNumber(c, &r->subtotal);
    if (key == "change")
        return OptionalNumber(c, &r->change);
    if (key == "tenders")
        return Tenders(c, &r->tenders);
    if (key == "cashier")
        return OptionalText(c, &r->cashier);
    if (key == "register")
        return OptionalText(c, &r->registerId);
    if (key == "number")
        return OptionalText(c, &r->number);
    if (key == "lines")
        return OptionalNumber(c, &r->lines);
    if (key == "voids")
        return OptionalNumber(c, &r->voids);
    if (key == "drawer") {
        r->drawer.reset();
        if (c.Null())
            return true;
        if (c.Word("true"))
            r->drawer = true;
        else if (c.Word("false"))
            r->drawer = false;
        return r->drawer.has_value();
    }
    return c.Skip(1);
}

}  // namespace

bool ParseEventRecord(std::string_view line, EventRecord* r) {
    *r = EventRecord();
    JsonCursor c(line);
    bool hasCamera = false;
    if (!c.Take('{'))
        return false;
    if (!c.Take('}')) {
        do {
            std::string key;
            if (!c.String(&key) || !c.Take(':') || !Field(c, key, r, &hasCamera))
                return false;
        } while (c.Take(','));
        if (!c.Take('}'))
            return false;
    }
    if (!c.AtEnd() || r->event.empty() || !hasCamera)
        return false;
    if (!ParseRecordTime(r->time, &r->utcMilliseconds, &r->utcOffsetMinutes))
        return false;
    r->stored.assign(line);
    return true;
}

bool LooksLikeEvent(std::string_view line, std::string_view event) {
    static constexpr std::string_view kKey = "\"event\":\"";
    size_t at = line.find(kKey);
    if (at == std::string_view::npos)
        return false;
    std::string_view name = line.substr(at + kKey.size());
    return name.size() > event.size() && name.substr(0, event.size()) == event && name[event.size()] == '"';
}

}  // namespace zamri
