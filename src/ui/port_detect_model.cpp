#include "ui/port_detect_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

int Percent(double confidence) {
    return static_cast<int>(std::lround(confidence * 100));
}

// Replaces each "%s" of a text from the language pack with the next value; a translation that
// leaves one out simply shows less.
std::string Fill(const std::string& pattern, std::initializer_list<std::string> values) {
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            if (next != values.end())
                out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string LineText(const LineSettings& settings) {
    char text[40];
    FormatLineSettings(settings, text, sizeof text);
    return text;
}

std::string ItemText(const std::vector<PortListItem>& items, int position) {
    return position >= 0 && position < static_cast<int>(items.size())
               ? items[static_cast<size_t>(position)].text
               : std::string();
}

}  // namespace

DetectProgressView DetectProgress(const ListenProgress& progress, const DetectTextLookup& text,
                                  int pausedCamera) {
    DetectProgressView view;
    if (progress.totalSeconds > 0)
        view.percent = std::min(100, std::max(0, progress.elapsedSeconds * 100 / progress.totalSeconds));
    view.text = Fill(text(progress.lineFound ? "detectreading" : "detectlistening"),
                     {LineText(progress.settings), std::to_string(progress.elapsedSeconds),
                      std::to_string(progress.totalSeconds), std::to_string(progress.bytesRead)});
    if (pausedCamera > 0)
        view.text += " " + Fill(text("detectpaused"), {std::to_string(pausedCamera)});
    return view;
}

DetectFill FillFromFindings(const DetectFindings& findings, int parityItemCount, PortSelections* s,
                            const DetectTextLookup& text) {
    DetectFill fill;
    const LineFinding& line = findings.line;
    std::string filled;
    auto note = [&filled](const std::string& what) { filled += (filled.empty() ? "" : ", ") + what; };

    if (findings.hasLine && line.verdict == kLineFound) {
        int baud = FindItemStartingWith(BaudRateItems(), std::to_string(line.settings.baudRate) + " bps");
        int bits = FindItemByValue(DataBitsItems(), line.settings.dataBits);
        int stop = FindItemByValue(StopBitsItems(), line.settings.stopBits);
        if (baud >= 0 && bits >= 0 && stop >= 0 && line.settings.parity >= 0 &&
            line.settings.parity < parityItemCount) {
            s->baudRate = baud;
            s->dataBits = bits;
            s->parity = line.settings.parity;
            s->stopBits = stop;
            fill.line = true;
            note(LineText(line.settings));
        }
    }
    const StreamFinding& stream = findings.stream;
    if (stream.emulation >= 0 && stream.emulationConfidence >= kSureConfidence) {
        int position = FindItemByValue(EmulationItems(), stream.emulation);
        if (position >= 0) {
            s->emulation = position;
            fill.emulation = true;
            note(ItemText(EmulationItems(), position));
        }
    }
    // codePage 0 (nothing from 0x80 up to go by) is the printer's own page, which is right then.
    if (stream.codePage >= 0 && (stream.codePage == 0 || stream.codePageConfidence >= kSureConfidence)) {
        std::vector<PortListItem> pages = CodePageItems(text("codepagedefault"));
        int position = FindItemByValue(pages, stream.codePage);
        if (position >= 0) {
            s->codePage = position;
            fill.codePage = true;
            note(ItemText(pages, position));
        }
    }
    if (stream.receiptEndConfidence >= kSureConfidence) {
        if (stream.receiptEnd == kReceiptEndFormFeed || stream.receiptEnd == kReceiptEndCut) {
            fill.pattern = {true, 0, ""};
            note(text(stream.receiptEnd == kReceiptEndCut ? "detectendcut" : "detectendformfeed"));
        } else if (stream.receiptEnd == kReceiptEndFooter && !stream.footer.empty() &&
                   stream.footer.size() < static_cast<size_t>(kChannelTextSize)) {
            fill.pattern = {true, 1, stream.footer};
            note(Fill(text("detectendfooter"), {stream.footer}));
        }
    }

    bool lineDone = fill.line || !findings.hasLine;
    fill.sure = lineDone && fill.emulation && fill.codePage;
    int confidence = Percent(findings.Confidence());
    if (findings.hasLine && line.verdict == kLineSilent && stream.bytes == 0) {
        fill.message = text("detectsilent");
    } else if (fill.sure) {
        fill.message = Fill(text("detectsure"), {std::to_string(confidence), filled});
    } else {
        std::string seen = findings.hasLine && !fill.line ? line.summary : stream.note;
        if (filled.empty())
            fill.message = Fill(text("detectnothing"), {std::to_string(confidence), seen});
        else
            fill.message = Fill(text("detectnotsure"), {std::to_string(confidence), filled, seen});
    }
    return fill;
}

int DetectCapturePause::Pause(const std::string& portName) {
    Resume();
    paused = table.PauseChannelOnPort(portName.c_str());
    return paused;
}

void DetectCapturePause::Resume() {
    if (paused < 0)
        return;
    table.ResumeChannel(paused);
    paused = -1;
}
