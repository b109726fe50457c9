#include "receipt_test_support.h"

std::string Utf8ToCp1252(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < s.size()) {
            out.push_back(
                static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F)));
            i += 2;
        } else if (s.substr(i, 3) == "\xE2\x82\xAC") {
            out.push_back('\x80');
            i += 3;
        } else {
            out.push_back('?');
            ++i;
            while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
                ++i;
        }
    }
    return out;
}

void Cp1252ToUtf8(std::string_view text, std::string* out) {
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out->push_back(ch);
        } else if (c == 0x80) {
            out->append("\xE2\x82\xAC");
        } else {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

int Till::Print(const std::string& utf8, bool end) {
    std::string text = Utf8ToCp1252(utf8);
    zamri::ReceiptLine line;
    line.text = text;
    line.flags = (open ? 0 : zamri::kReceiptFirstLine) | (end ? zamri::kReceiptEndLine : 0);
    line.utcMilliseconds = clock.now;
    line.utcOffsetMinutes = 60;
    line.camera = 3;
    line.source = "COM3";
    line.receipt = receipt;
    int flags = reader.Line(line, &done);
    open = !end;
    if (end)
        ++receipt;
    clock.now += 100;
    return flags;
}

void Till::Receipt(std::initializer_list<const char*> lines) {
    size_t i = 0;
    for (const char* line : lines)
        Print(line, ++i == lines.size());
}

void Till::Drawer() {
    zamri::DrawerEvent event;
    event.utcMilliseconds = clock.now;
    event.utcOffsetMinutes = 60;
    event.camera = 3;
    event.source = "COM3";
    event.receipt = receipt;
    reader.Drawer(event, &done);
}

void Till::Wait(int milliseconds) {
    while (milliseconds > 0) {
        int step = milliseconds < 1000 ? milliseconds : 1000;
        clock.now += step;
        milliseconds -= step;
        reader.Tick(&done);
    }
}

std::string Till::Exceptions() const {
    std::string out;
    for (const zamri::ReadReceipt& r : done)
        for (const zamri::ReceiptException& e : r.exceptions) {
            if (!out.empty())
                out += "; ";
            out += e.kind;
            if (e.amount.has_value())
                out += " " + zamri::MoneyText(*e.amount);
        }
    return out;
}
