#include "detect/findings_writer.h"

#include <cstdio>

#include "codepage/code_page.h"
#include "config/channel_config.h"
#include "config/channel_settings.h"
#include "serial/command_tables.h"
#include "serial/line_decoder.h"

namespace {

std::string Utf8Text(const std::string& text, int recorderPage) {
    std::string utf8;
    if (AppendWindowsAsUtf8(recorderPage, text.data(), text.size(), &utf8) != 0) {
        utf8.clear();
        AppendWindowsAsUtf8(kDefaultRecorderCodePage, text.data(), text.size(), &utf8);
    }
    return utf8;
}

void AppendJsonString(const std::string& text, int recorderPage, std::string* out) {
    std::string utf8 = Utf8Text(text, recorderPage);
    out->push_back('"');
    for (char c : utf8) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(c);
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out->append(escaped);
        } else {
            out->push_back(c);
        }
    }
    out->push_back('"');
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

const char* EmulationName(int code) {
    const Emulation* emulation = EmulationFor(code);
    return emulation != nullptr ? emulation->name : "?";
}

std::string PageText(int number) {
    const CodePageTable* page = FindCodePage(number);
    return page != nullptr ? std::string(page->name) + " (" + std::to_string(number) + ")"
                           : std::to_string(number);
}

int Percent(double confidence) {
    return static_cast<int>(confidence * 100 + 0.5);
}

}  // namespace

std::string FindingsJson(const DetectFindings& findings, int recorderPage) {
    const StreamFinding& s = findings.stream;
    std::string json = "{\"emulation\":";
    json += s.emulation >= 0 ? std::to_string(s.emulation) : "null";
    json += ",\"codePage\":";
    json += s.codePage >= 0 ? std::to_string(s.codePage) : "null";
    json += ",\"receiptEnd\":";
    const char* end = ReceiptEndName(s.receiptEnd);
    json += end != nullptr ? std::string("\"") + end + "\"" : "null";
    if (!s.footer.empty()) {
        json += ",\"footer\":";
        AppendJsonString(s.footer, recorderPage, &json);
    }
    json += ",\"line\":";
    if (findings.hasLine && findings.line.verdict == kLineFound) {
        const LineSettings& l = findings.line.settings;
        json += "{\"baud\":" + std::to_string(l.baudRate) + ",\"dataBits\":" + std::to_string(l.dataBits) +
                ",\"parity\":" + std::to_string(l.parity) + ",\"stopBits\":" + std::to_string(l.stopBits) +
                "}";
    } else {
        json += "null";
    }
    json += ",\"confidence\":" + Number(findings.Confidence()) + "}";
    return json;
}

std::string ChannelBlock(const DetectFindings& findings, int channelNumber, const std::string& portName) {
    const StreamFinding& s = findings.stream;
    ChannelConfig record;
    record.enabled = 1;
    std::string block;
    std::string port = portName.empty() ? "COM1" : portName;
    std::snprintf(record.portName, sizeof record.portName, "%s", port.c_str());
    if (portName.empty())
        block += "; the port is not known: set it\n";
    if (findings.hasLine && findings.line.verdict == kLineFound) {
        record.baudRate = findings.line.settings.baudRate;
        record.dataBits = findings.line.settings.dataBits;
        record.parity = findings.line.settings.parity;
        record.stopBits = findings.line.settings.stopBits;
    } else if (findings.hasLine) {
        block += "; the line settings were not found: " + findings.line.summary + "\n";
    }
    if (s.emulation >= 0)
        record.emulation = s.emulation;
    else
        block += "; the printer language was not found\n";
    int idleSeconds = 0;
    bool useFooter =
        !s.footer.empty() && (s.receiptEnd == kReceiptEndFooter || s.receiptEnd == kReceiptEndCut);
    if (useFooter) {
        record.patternFlags = kPatternFooter;
        std::snprintf(record.patternText, sizeof record.patternText, "%s", s.footer.c_str());
        if (s.receiptEnd == kReceiptEndCut)
            block += "; receipts end with a paper cut after the footer line, which ends them here\n";
    } else if (s.receiptEnd == kReceiptEndCut) {
        idleSeconds = kCutIdleSeconds;
        block += "; receipts end with a paper cut and no repeated footer: they end after " +
                 std::to_string(kCutIdleSeconds) + " s without data\n";
    } else if (s.receiptEnd == kReceiptEndUnknown) {
        block += "; how receipts end was not found: form feed assumed\n";
    }
    char value[kSettingsValueSize];
    if (FormatChannelValue(record, value, sizeof value) < 0)
        value[0] = 0;
    std::string text = "[Channel]\n" + block + std::to_string(channelNumber) + "=" + value + "\n";
    std::string section;
    if (s.codePage > 0)
        section += "CodePage=" + std::to_string(s.codePage) + "\n";
    if (idleSeconds > 0)
        section += "IdleSeconds=" + std::to_string(idleSeconds) + "\n";
    if (!section.empty())
        text += "[Channel " + std::to_string(channelNumber) + "]\n" + section;
    return text;
}

std::string FindingsText(const DetectFindings& findings, int recorderPage) {
    const StreamFinding& s = findings.stream;
    std::string text;
    if (findings.hasLine) {
        const LineFinding& l = findings.line;
        char settings[40];
        FormatLineSettings(l.settings, settings, sizeof settings);
        if (l.verdict == kLineFound)
            text += std::string("line settings: ") + settings + " (" + std::to_string(Percent(l.confidence)) +
                    "% sure)\n";
        else
            text += "line settings: not found\n";
        text += "  " + l.summary + "\n";
    }
    if (s.emulation >= 0)
        text += std::string("printer language: ") + EmulationName(s.emulation) + " (" +
                std::to_string(Percent(s.emulationConfidence)) + "% sure)\n";
    else
        text += "printer language: not sure\n";
    if (s.codePage > 0)
        text += "code page: " + PageText(s.codePage) +
                (s.codePageSelected ? ", selected by the stream" : "") + " (" +
                std::to_string(Percent(s.codePageConfidence)) + "% sure)\n";
    else if (s.codePage == 0)
        text += "code page: the printer's own (nothing from 0x80 up to go by, or a page with no table)\n";
    else
        text += "code page: not sure\n";
    const char* end = ReceiptEndName(s.receiptEnd);
    if (end != nullptr)
        text += std::string("receipts end with: ") + end + " (" +
                std::to_string(Percent(s.receiptEndConfidence)) + "% sure, " + std::to_string(s.receipts) +
                " receipts seen)\n";
    else
        text += "receipts end with: not sure\n";
    if (!s.footer.empty())
        text += "footer line: " + Utf8Text(s.footer, recorderPage) + "\n";
    if (!s.note.empty())
        text += "note: " + s.note + "\n";
    text += std::to_string(s.bytes) + " bytes of printer stream weighed; confidence " +
            Number(findings.Confidence()) + "\n";
    return text;
}
