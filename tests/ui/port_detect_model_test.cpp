#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/langpack_english.h"
#include "ui/port_detect_model.h"

namespace {

// The built-in English texts, as the dialog shows them when no language pack is installed.
std::string English(const char* key) {
    int count = 0;
    const langpack::BuiltInText* texts = langpack::EnglishTexts(&count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(texts[i].section, "portconfig page") == 0 && std::strcmp(texts[i].key, key) == 0)
            return texts[i].text;
    }
    ADD_FAILURE() << "no English text for " << key;
    return "";
}

DetectFindings SureTap() {
    DetectFindings f;
    f.hasLine = true;
    f.line.verdict = kLineFound;
    f.line.settings = {19200, 7, kParityEven, kStopOne};
    f.line.confidence = 0.97;
    f.stream.emulation = 2;
    f.stream.emulationConfidence = 0.99;
    f.stream.codePage = 858;
    f.stream.codePageConfidence = 0.95;
    f.stream.receiptEnd = kReceiptEndCut;
    f.stream.receiptEndConfidence = 0.93;
    f.stream.confidence = 0.93;
    f.stream.bytes = 4000;
    return f;
}

}  // namespace

TEST(PortDetectModel, SureFindingsFillEveryFieldAndStoreAsTheSettingsFileCodesThem) {
    PortSelections s;
    DetectFill fill = FillFromFindings(SureTap(), 5, &s, English);
    ASSERT_TRUE(fill.sure && fill.line && fill.emulation && fill.codePage && fill.pattern.found);
    EXPECT_EQ(fill.pattern.patternFlags, 0);  // a cut ends a receipt in form-feed mode
    EXPECT_NE(fill.message.find("Found (93% sure): 19200 7E1, ESC/POS, PC858"), std::string::npos)
        << fill.message;

    ChannelConfig record;
    StoreSelections(s, 5, record);
    EXPECT_EQ(record.baudRate, 19200);
    EXPECT_EQ(record.dataBits, 7);
    EXPECT_EQ(record.parity, kParityEven);
    EXPECT_EQ(record.stopBits, kStopOne);
    EXPECT_EQ(record.emulation, 2);
    EXPECT_EQ(record.decoding.codePage, 858);
}

TEST(PortDetectModel, UnsureFindingsFillOnlyWhatIsDecidedAndSayWhatWasSeen) {
    DetectFindings f = SureTap();
    f.line.verdict = kLineNoFit;
    f.line.summary = "framing errors at every rate";
    f.stream.emulationConfidence = 0.6;
    f.stream.codePage = -1;
    f.stream.receiptEnd = kReceiptEndFooter;
    f.stream.footer = "THANK YOU";
    PortSelections s;
    s.baudRate = 3;
    DetectFill fill = FillFromFindings(f, 5, &s, English);
    EXPECT_FALSE(fill.sure || fill.line || fill.emulation || fill.codePage);
    EXPECT_EQ(s.baudRate, 3);
    EXPECT_EQ(s.emulation, -1);
    EXPECT_EQ(fill.pattern.patternFlags, 1);
    EXPECT_EQ(fill.pattern.footer, "THANK YOU");
    EXPECT_EQ(fill.message.rfind("Not sure (0%): filled receipts end with the footer \"THANK YOU\"", 0), 0u)
        << fill.message;
    EXPECT_NE(fill.message.find("Seen: framing errors at every rate."), std::string::npos) << fill.message;

    f.stream.receiptEndConfidence = 0;
    EXPECT_EQ(FillFromFindings(f, 5, &s, English).message.rfind("Not sure (0%): nothing filled", 0), 0u);

    DetectFindings silent;
    silent.hasLine = true;
    EXPECT_EQ(FillFromFindings(silent, 5, &s, English).message, English("detectsilent"));
}

TEST(PortDetectModel, ProgressShowsTheListeningSettingsAndStaysWithinTheBar) {
    ListenProgress p;
    p.settings = {9600, 8, kParityNone, kStopOne};
    p.elapsedSeconds = 12;
    p.totalSeconds = 30;
    p.bytesRead = 512;
    DetectProgressView view = DetectProgress(p, English);
    EXPECT_EQ(view.percent, 40);
    EXPECT_EQ(view.text, "Listening at 9600 8N1: 12 of 30 s, 512 bytes read");
    p.lineFound = true;
    p.elapsedSeconds = 31;  // the last read may end after the time
    view = DetectProgress(p, English);
    EXPECT_EQ(view.percent, 100);
    EXPECT_EQ(view.text.rfind("Reading the printer stream at 9600 8N1", 0), 0u);
    // A channel that captured the port waits meanwhile, and the installer is told which.
    view = DetectProgress(p, English, 4);
    EXPECT_NE(view.text.find("bytes read Camera 4's capture pauses until Detect ends."), std::string::npos)
        << view.text;
}

// The capture as Detect's pause sees it: which channel holds which port, and what was asked.
class PortHolders : public CaptureControl {
  public:
    void ModeSet(int) override {}
    int StartCapture() override { return 1; }
    int StopCapture() override { return 1; }
    int StartChannel(int) override { return 1; }
    int StopChannel(int) override { return 1; }
    int64_t PortFailingSince(int) override { return -2; }
    int StartDump(const char*, const char*) override { return -1; }
    int StopDump(int) override { return 0; }
    int PauseChannelOnPort(const char* portName) override {
        calls += std::string("pause ") + portName + ";";
        return std::string(portName) == "COM3" ? 2 : -1;
    }
    int ResumeChannel(int index) override {
        calls += "resume " + std::to_string(index) + ";";
        return 1;
    }
    std::string calls;
};

TEST(PortDetectModel, DetectPausesTheChannelOnItsPortAndResumesItOnceHoweverItEnds) {
    PortHolders capture;
    ChannelTable table;
    table.SetCaptureControl(&capture);
    {
        DetectCapturePause pause(table);
        EXPECT_EQ(pause.Pause("COM4"), -1);  // nobody captures it: nothing to resume
        pause.Resume();
        EXPECT_EQ(pause.Pause("COM3"), 2);
        pause.Resume();
        pause.Resume();
        EXPECT_EQ(capture.calls, "pause COM4;pause COM3;resume 2;");
        capture.calls.clear();
        EXPECT_EQ(pause.Pause("COM3"), 2);
        EXPECT_EQ(pause.Pause("COM3"), 2);  // a second run gives the first one's channel back first
        EXPECT_EQ(capture.calls, "pause COM3;resume 2;pause COM3;");
        capture.calls.clear();
    }  // the dialog closes in the middle of a run
    EXPECT_EQ(capture.calls, "resume 2;");
    table.SetCaptureControl(nullptr);
}
