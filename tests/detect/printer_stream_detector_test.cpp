// Language, code page and receipt end told from whole streams: the receipts made for detection,
// the decoder's golden receipts, the fuzz corpora and noise. A finding may be "not sure"; a sure
// one must be right, and noise must never get one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codepage/code_page.h"
#include "detect/language_guess.h"
#include "detect/printer_stream_detector.h"
#include "detect/tap_detection.h"
#include "detect_golden.h"
#include "serial/command_tables.h"
#include "support/temp_dir.h"

using detect_testing::GoldenStream;
using detect_testing::LoadGoldenStreams;
using detect_testing::Noise;

namespace {

const uint8_t* Data(const std::string& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

std::vector<std::string> Lines(const GoldenStream& g, int emulation, int page) {
    return DecodeLines(Data(g.bytes), g.bytes.size(), emulation, page, g.recorderPage);
}

std::string Utf8(const std::string& text, int page) {
    std::string utf8;
    AppendWindowsAsUtf8(page, text.data(), text.size(), &utf8);
    return utf8;
}

bool Contains(const std::vector<int>& set, int value) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

TEST(PrinterStreamDetector, FindsWhatEveryDetectionReceiptIsIn) {
    std::vector<GoldenStream> streams = LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR);
    ASSERT_GE(streams.size(), 7u);
    for (const GoldenStream& g : streams) {
        SCOPED_TRACE(g.name);
        StreamFinding f = DetectStream(Data(g.bytes), g.bytes.size(), g.recorderPage).stream;
        EXPECT_TRUE(f.sure) << f.note;
        EXPECT_TRUE(Contains(g.emulations, f.emulation)) << f.emulation;
        EXPECT_GE(f.emulationConfidence, kSureConfidence);
        ASSERT_FALSE(g.codePages.empty());
        if (g.codePages.front() == 0) {
            EXPECT_EQ(f.codePage, 0);
        } else if (g.selected) {
            EXPECT_TRUE(f.codePageSelected);
            EXPECT_EQ(f.codePage, g.codePages.front());
        } else {
            // Right when it reads the receipts as the till's page does (look-alike pages may tie).
            ASSERT_GT(f.codePage, 0) << f.note;
            EXPECT_EQ(Lines(g, f.emulation, f.codePage), Lines(g, f.emulation, g.codePages.front()))
                << f.codePage;
        }
        EXPECT_EQ(f.receiptEnd, g.receiptEnd);
        EXPECT_EQ(Utf8(f.footer, g.recorderPage), g.footer);
        EXPECT_GE(f.confidence, 0.8);
    }
}

TEST(PrinterStreamDetector, DecoderGoldenReceiptsAreNeverMisread) {
    // Short, made to try the decoder: a sure finding must read them as their channel does.
    for (const GoldenStream& g : LoadGoldenStreams(ZAMRI_GOLDEN_DIR)) {
        SCOPED_TRACE(g.name);
        StreamFinding f = DetectStream(Data(g.bytes), g.bytes.size(), g.recorderPage).stream;
        int channel = g.emulations.front();
        // The printed text must agree; where the receipts end may not (an ESC/P ESC m reads as an
        // ESC/POS cut, which ends a receipt with an empty line), and the block it writes says how
        // the till's receipts end.
        if (f.emulation >= 0 && f.emulation != channel) {
            std::vector<std::string> other = Lines(g, f.emulation, 0), own = Lines(g, channel, 0);
            auto blank = [](const std::string& line) { return line.empty(); };
            other.erase(std::remove_if(other.begin(), other.end(), blank), other.end());
            own.erase(std::remove_if(own.begin(), own.end(), blank), own.end());
            EXPECT_EQ(other, own) << f.emulation;
        }
        if (g.name == "star_cafe" || g.name == "escpos_bakery") {
            EXPECT_EQ(f.emulation, channel);
            EXPECT_TRUE(f.codePageSelected);
            EXPECT_EQ(f.codePage, g.name == "star_cafe" ? 858 : 1252);
        }
        if (g.name == "starprnt_utf8") {
            EXPECT_EQ(f.emulation, kEmulationStar);
        }
    }
}

TEST(PrinterStreamDetector, SaysNotSureOnTooLittle) {
    std::vector<GoldenStream> streams = LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR);
    for (const GoldenStream& g : streams) {
        StreamFinding f = DetectStream(Data(g.bytes), 20, g.recorderPage).stream;
        EXPECT_EQ(f.emulation, -1) << g.name;
        EXPECT_FALSE(f.sure) << g.name;
    }
    // One receipt tells the language but not a footer: that needs it to come back.
    const GoldenStream& shop = *std::find_if(streams.begin(), streams.end(),
                                             [](const GoldenStream& g) { return g.name == "text_shop"; });
    StreamFinding one = DetectStream(Data(shop.bytes), shop.bytes.find("RECEIPT 302"), 1252).stream;
    EXPECT_EQ(one.emulation, kEmulationTextOnly);
    EXPECT_EQ(one.receiptEnd, kReceiptEndUnknown);
}

// Not a printer stream, or not one of its receipts: whatever it says must not be a sure
// printer language, nor a code page.
void ExpectNoConfidentPrinterLanguage(const std::string& bytes, const std::string& what) {
    StreamFinding f = DetectStream(Data(bytes), bytes.size()).stream;
    EXPECT_GE(f.confidence, 0.0) << what;
    EXPECT_LE(f.confidence, 1.0) << what;
    if (f.emulation != kEmulationTextOnly) {
        EXPECT_LT(f.emulationConfidence, 0.5) << what << " as " << f.emulation;
        EXPECT_FALSE(f.sure) << what;
    }
    if (f.codePageWeighed > 0 && f.codePage > 0) {
        EXPECT_LT(f.codePageConfidence, 0.9) << what << " page " << f.codePage;
    }
}

TEST(PrinterStreamDetector, NoiseAndOtherInputsGetNoConfidentAnswer) {
    namespace fs = std::filesystem;
    int files = 0;
    for (const fs::directory_entry& target : fs::directory_iterator(ZAMRI_FUZZ_CORPUS_DIR)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(target.path())) {
            std::string bytes = testing_support::ReadFileBytes(entry.path().string());
            ++files;
            if (target.path().filename() == "decoder_fuzz" ||
                target.path().filename() == "stream_detect_fuzz") {
                // Receipts (behind a byte of decoder settings): anything but a crash will do.
                DetectStream(Data(bytes), bytes.size());
                continue;
            }
            ExpectNoConfidentPrinterLanguage(bytes, entry.path().string());
        }
    }
    EXPECT_GT(files, 30);
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        Noise noise(seed);
        ExpectNoConfidentPrinterLanguage(noise.Bytes(seed * 97 % 6000 + 30), "noise " + std::to_string(seed));
    }
    // Receipts with every tenth byte overwritten: never a crash, and a sure answer is the right one.
    for (const GoldenStream& g : LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR)) {
        Noise noise(static_cast<uint32_t>(g.bytes.size()));
        std::string damaged = g.bytes;
        for (size_t i = 0; i < damaged.size(); i += 10)
            damaged[i] = static_cast<char>(noise.Next());
        StreamFinding f = DetectStream(Data(damaged), damaged.size(), g.recorderPage).stream;
        if (f.sure) {
            EXPECT_TRUE(Contains(g.emulations, f.emulation)) << g.name;
        }
    }
}

}  // namespace
