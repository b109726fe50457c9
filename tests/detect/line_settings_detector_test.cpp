// Line settings found on a simulated tap: a till prints receipts with its settings, the
// detection listens with one setting after another (each listen a port opened afresh, at some
// point inside the till's stream) and must end with settings that read the till's bytes
// exactly, within a few receipts, at every offered rate and frame; and must say "not sure" or
// what it saw rather than guess.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detect/findings_writer.h"
#include "detect/line_settings_detector.h"
#include "detect/line_simulator.h"
#include "detect/simulated_detection.h"
#include "detect/tap_detection.h"
#include "detect_golden.h"
#include "ui/port_settings_model.h"

using detect_testing::GoldenStream;
using detect_testing::LoadGoldenStreams;
using detect_testing::Noise;

namespace {

constexpr size_t kFewReceiptsBytes = 3000;

LineSignal Till(const std::string& receipt, const LineSettings& sender, int copies, uint32_t seed) {
    return TillPrinting(receipt, sender, copies, 1500, seed);
}

// Whether these settings read the till's next receipt exactly as it was sent.
bool ReadsExactly(const std::string& receipt, const LineSettings& sender, const LineSettings& receiver) {
    LineSignal signal = Till(receipt, sender, 1, 99);
    std::vector<ReceivedByte> got = ReceiveLine(signal, receiver, 0, signal.End());
    if (got.size() != receipt.size())
        return false;
    unsigned mask = (1u << sender.dataBits) - 1u;
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i].marks != 0 || got[i].value != (static_cast<uint8_t>(receipt[i]) & mask))
            return false;
    }
    return true;
}

const GoldenStream& Named(const std::vector<GoldenStream>& all, const std::string& name) {
    return *std::find_if(all.begin(), all.end(), [&](const GoldenStream& g) { return g.name == name; });
}

struct FrameCase {
    int dataBits;
    int parity;
    int stopBits;
    LineSettings found;  // rate filled in; dataBits 0: any setting that reads the line exactly
};

TEST(LineSettingsDetector, FindsEveryOfferedRateAndFrame) {
    std::vector<GoldenStream> all = LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR);
    const std::string eightBit = Named(all, "escpos_market").bytes;
    const std::string sevenBit = Named(all, "text_shop").bytes;
    const FrameCase cases[] = {
        {8, kParityNone, kStopOne, {0, 8, kParityNone, kStopOne}},
        {8, kParityNone, kStopTwo, {0, 8, kParityNone, kStopOne}},
        {8, kParityEven, kStopOne, {0, 8, kParityEven, kStopOne}},
        {8, kParityOdd, kStopOne, {0, 8, kParityOdd, kStopOne}},
        {8, kParityMark, kStopOne, {0, 8, kParityNone, kStopOne}},
        {8, kParitySpace, kStopOne, {0, 8, kParitySpace, kStopOne}},
        {7, kParityEven, kStopOne, {0, 7, kParityEven, kStopOne}},
        {7, kParityOdd, kStopTwo, {0, 7, kParityOdd, kStopOne}},
        {7, kParityMark, kStopOne, {0, 7, kParityNone, kStopOne}},
        {7, kParitySpace, kStopOne, {0, 8, kParityNone, kStopOne}},
        {7, kParityNone, kStopOne, {0, 7, kParityNone, kStopOne}},
        {7, kParityNone, kStopTwo, {0, 7, kParityNone, kStopOne}},
    };
    size_t worst = 0;
    for (const PortListItem& rate : BaudRateItems()) {
        for (const FrameCase& c : cases) {
            LineSettings sender{rate.value, c.dataBits, c.parity, c.stopBits};
            const std::string& receipt = c.dataBits == 8 ? eightBit : sevenBit;
            char name[32];
            FormatLineSettings(sender, name, sizeof name);
            SCOPED_TRACE(name);
            DetectionRun run =
                RunDetection(Till(receipt, sender, 30, static_cast<uint32_t>(rate.value + c.parity)), 300000);
            if (run.findings.line.verdict != kLineFound) {
                ADD_FAILURE() << run.findings.line.summary;
                continue;
            }
            LineSettings expected = c.found;
            expected.baudRate = rate.value;
            EXPECT_EQ(run.findings.line.settings, expected);
            EXPECT_TRUE(ReadsExactly(receipt, sender, run.findings.line.settings));
            EXPECT_GE(run.findings.line.confidence, 0.9);
            // Within a few receipts' worth of the till's bytes (receipts of a kilobyte); 7N1,
            // which no other frame's bytes point to, is tried after one listen at every rate
            // with every frame that they do point to.
            bool pointedTo = !(c.dataBits == 7 && c.parity == kParityNone);
            EXPECT_LE(run.bytesAtLine, pointedTo ? kFewReceiptsBytes : 4 * kFewReceiptsBytes)
                << run.findings.line.listens << " listens";
            worst = std::max(worst, run.bytesAtLine);
            // Listening on with the settings found tells the language too.
            EXPECT_EQ(run.findings.stream.emulation, c.dataBits == 8 ? 2 : 1);
        }
    }
    std::printf("line settings found after at most %zu bytes of the till's\n", worst);
}

TEST(LineSettingsDetector, ErrorsPerReadAsWindowsReportsThem) {
    std::string receipt = Named(LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR), "escpos_cafe").bytes;
    for (int parity : {kParityEven, kParityOdd, kParitySpace}) {
        LineSettings sender{38400, 8, parity, kStopOne};
        DetectionRun run = RunDetection(Till(receipt, sender, 12, 3), 120000, true);
        ASSERT_EQ(run.findings.line.verdict, kLineFound) << run.findings.line.summary;
        EXPECT_EQ(run.findings.line.settings, sender);
    }
}

TEST(LineSettingsDetector, SaysNotSureOnTooLittle) {
    // Forty bytes, then the till says nothing more for a minute.
    std::string receipt = Named(LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR), "text_shop").bytes.substr(0, 40);
    LineSignal signal = Till(receipt, {9600, 8, kParityNone, kStopOne}, 1, 5);
    signal.Idle(TicksFromMilliseconds(60000));
    DetectionRun run = RunDetection(signal, 60000);
    EXPECT_EQ(run.findings.line.verdict, kLineNotSure) << run.findings.line.summary;
    EXPECT_LT(run.findings.line.confidence, 0.9);
    EXPECT_EQ(run.findings.Confidence(), 0);

    // Nothing at all.
    LineSignal silent;
    silent.Idle(TicksFromMilliseconds(30000));
    DetectionRun quiet = RunDetection(silent, 20000);
    EXPECT_EQ(quiet.findings.line.verdict, kLineSilent);
    EXPECT_NE(quiet.findings.line.summary.find("nothing came"), std::string::npos);
}

TEST(LineSettingsDetector, SaysWhatItSawWhenNothingFits) {
    // A line that toggles at random, as a line that is no serial line at all.
    Noise noise(7);
    LineSignal random;
    for (int i = 0; i < 400000; ++i) {
        random.HoldLow(static_cast<int64_t>(noise.Next() % 4000 + 30));
        random.Idle(static_cast<int64_t>(noise.Next() % 4000 + 30));
    }
    DetectionRun run = RunDetection(random, 600000);
    EXPECT_EQ(run.findings.line.verdict, kLineNoFit);
    EXPECT_NE(run.findings.line.summary.find("framing errors under every setting"), std::string::npos)
        << run.findings.line.summary;

    // A till at a rate the port does not offer is not read at a neighbouring one.
    std::string receipt = Named(LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR), "escpos_cafe").bytes;
    for (int rate : {7200, 28800, 76800}) {
        DetectionRun odd = RunDetection(Till(receipt, {rate, 8, kParityNone, kStopOne}, 30, 2), 120000);
        EXPECT_NE(odd.findings.line.verdict, kLineFound) << rate << ": " << odd.findings.line.summary;
    }

    // A clean 9600 8N1 line that carries no text (random bytes).
    std::string binary = noise.Bytes(6000);
    DetectionRun data = RunDetection(Till(binary, {9600, 8, kParityNone, kStopOne}, 40, 11), 600000);
    EXPECT_NE(data.findings.line.verdict, kLineFound) << data.findings.line.summary;
}

TEST(LineSettingsDetector, FindsAllATillsSettingsOnATap) {
    std::string receipt = Named(LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR), "escpos_market").bytes;
    DetectionRun run = RunDetection(Till(receipt, {19200, 8, kParityEven, kStopOne}, 30, 8), 120000);
    ASSERT_TRUE(run.done);
    std::string json = FindingsJson(run.findings);
    EXPECT_EQ(json.rfind("{\"emulation\":2,\"codePage\":858,\"receiptEnd\":\"cut\",\"footer\":\"Vielen Dank "
                         "f\xC3\xBCr Ihren "
                         "Einkauf\",\"line\":{\"baud\":19200,\"dataBits\":8,\"parity\":2,\"stopBits\":0},"
                         "\"confidence\":0.",
                         0),
              0u)
        << json;
    EXPECT_GE(run.findings.Confidence(), 0.8);
}

TEST(LineSettingsDetector, TriesWhatTheDialogOffers) {
    std::vector<LineSettings> offered = OfferedLineSettings();
    std::vector<PortListItem> rates = BaudRateItems(), bits = DataBitsItems(), stops = StopBitsItems();
    const size_t parities = sizeof kParityKeys / sizeof kParityKeys[0];
    ASSERT_EQ(offered.size(), rates.size() * bits.size() * parities * stops.size());
    size_t i = 0;
    for (const PortListItem& rate : rates)
        for (const PortListItem& data : bits)
            for (size_t parity = 0; parity < parities; ++parity)
                for (const PortListItem& stop : stops)
                    EXPECT_EQ(offered[i++],
                              (LineSettings{rate.value, data.value, static_cast<int>(parity), stop.value}));

    // A port that offers one setting gets that one tried, and nothing else.
    LineSettingsDetector only({LineSettings{2400, 7, kParityEven, kStopTwo}});
    EXPECT_EQ(only.Plan().settings, (LineSettings{2400, 7, kParityEven, kStopTwo}));
}

}  // namespace
