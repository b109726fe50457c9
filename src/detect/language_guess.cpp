#include "detect/language_guess.h"

#include <algorithm>
#include <cmath>

#include "serial/command_tables.h"
#include "serial/line_decoder.h"

namespace {

constexpr double kLeastTextShare = 0.85;  // a printer stream is almost all text and commands
// A lead this large needs no check that the runner-up reads the stream differently.
constexpr double kClearLead = 12;

// Confidence from the evidence (score points ahead, or lines of text) and how well the stream
// is explained.
double Confidence(double evidence, double share) {
    if (evidence <= 0)
        return 0;
    double quality = std::pow(std::clamp(share, 0.0, 1.0), 4);
    return quality * (1 - std::exp(-evidence / 4));
}

}  // namespace

std::vector<std::string> DecodeLines(const uint8_t* data, size_t size, int emulation, int codePage,
                                     int recorderPage, size_t maxLines) {
    std::vector<std::string> lines;
    LineDecoder decoder;
    decoder.SetEmulation(emulation);
    decoder.SetCodePages(codePage, recorderPage);
    decoder.SetPattern(kPatternFormFeed, "");
    MemoryByteSource memory(data, size);
    ByteSource source = memory.Source();
    const char* text;
    int flags;
    while (lines.size() < maxLines && decoder.ReadLine(source, &text, &flags) >= 0)
        lines.emplace_back(text);
    return lines;
}

LanguageGuess GuessLanguage(const uint8_t* data, size_t size) {
    LanguageGuess guess;
    for (int emulation = 0; emulation < 4; ++emulation)
        guess.scans[emulation] = ScanStream(data, size, emulation);
    if (size < kLeastStreamBytes)
        return guess;

    const StreamScan& text = guess.scans[kEmulationTextOnly];
    if (text.controls == 0) {
        // Nothing but text and line controls: no command to weigh, every emulation reads it alike.
        if (text.TextShare() >= kLeastTextShare && text.lineEnds > 0) {
            guess.emulation = kEmulationTextOnly;
            guess.confidence = Confidence(static_cast<double>(text.lineEnds), text.TextShare());
        }
        return guess;
    }

    // Ties go to the receipt printers first: they are what tills drive today.
    const int order[] = {kEmulationEscPos, kEmulationEscP, kEmulationStar};
    int best = order[0];
    for (int emulation : order) {
        if (guess.scans[emulation].score > guess.scans[best].score)
            best = emulation;
    }
    const StreamScan& winner = guess.scans[best];
    if (winner.score <= 0 || winner.TextShare() < kLeastTextShare)
        return guess;

    // The evidence is what the winner's own commands say, as far as it is ahead of every family
    // that would read the stream differently. When all of them read it alike the choice is moot
    // and the stream's lines of text are evidence enough that it is a printer stream.
    double evidence = winner.score;
    bool allAlike = true;
    std::vector<std::string> ours;
    for (int emulation : order) {
        if (emulation == best)
            continue;
        double lead = winner.score - guess.scans[emulation].score;
        if (lead < kClearLead) {
            if (ours.empty())
                ours = DecodeLines(data, size, best);
            if (DecodeLines(data, size, emulation) == ours)
                continue;  // the same lines either way
        }
        allAlike = false;
        evidence = std::min(evidence, lead);
    }
    if (allAlike)
        evidence = winner.score + static_cast<double>(winner.lineEnds);
    guess.emulation = best;
    guess.confidence = Confidence(evidence, winner.TextShare());
    return guess;
}
