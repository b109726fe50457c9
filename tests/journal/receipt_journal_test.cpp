// Receipts from the wire to the journal's records, the program started from a settings file as
// it is installed: the golden dump of a till with a void, a refund and drawer opens sent to a
// listen:// channel gives the records zamri-replay --journal printed for it; the same receipts
// as TCP mode's text lines give their transactions and exceptions (TCP mode carries no drawer).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "journal/journal_files.h"
#include "net/send_all.h"
#include "net/socket_seam.h"
#include "program/program.h"
#include "send_client.h"
#include "support/free_port.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/printer_bytes.h"
#include "support/temp_dir.h"
#include "support/wait.h"

using testing_support::ReadFileBytes;
using testing_support::WaitUntil;

namespace {

const std::string kGolden = std::string(ZAMRI_SERIAL_GOLDEN_DIR) + "/escpos_void_refund";

// The records of every day file, in order, with the times and the source left out: the
// golden's are those of a fixed clock and a serial port.
struct Records {
    std::vector<std::string> lines;
    std::vector<std::string> events;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

Records Normalised(const std::string& text) {
    static const std::regex kVarying("\"(time|first|source)\":\"[^\"]*\"");
    Records records;
    for (const std::string& line : Lines(text)) {
        std::string record = std::regex_replace(line, kVarying, "\"$1\":\"\"");
        (record.find("\"event\"") != std::string::npos ? records.events : records.lines).push_back(record);
    }
    return records;
}

std::string JournalText(const std::string& folder) {
    std::string text;
    for (const zamri::JournalFile& file : zamri::ListJournalFiles(folder))
        text += ReadFileBytes(file.path);
    return text;
}

class ReceiptJournal : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(1, zamri::SocketStartup()); }
    void TearDown() override {
        program.Stop();
        zamri::SocketCleanup();
    }
    // The golden's settings with channel 2 on portName and the journal in the test's folder.
    void Start(int mode, const std::string& portName, int tcpPort = 0) {
        std::string settings = ReadFileBytes(kGolden + ".settings");
        settings.replace(settings.find("COM4"), 4, portName);
        settings.replace(settings.find("[Options]\n"), 10, "[Options]\nJournal=" + folder + "\n");
        if (tcpPort != 0)
            settings.replace(settings.find("[Channel]\n"), 10,
                             "[Channel]\nPORT=" + std::to_string(tcpPort) + "\n");
        std::string path = dir.File("zamri.ini");
        ASSERT_TRUE(testing_support::WriteFileBytes(path, settings));
        program.Table().SetSettingsPath(path.c_str());
        program.Table().SetMode(mode);
        ASSERT_EQ(program.Start(""), 1);
    }
    // Stops the program once the overlay has shown its lines (the last receipt's banner comes once
    // its drawer's grace has passed), so the journal has every record.
    Records StopWhenShown(size_t overlayLines) {
        EXPECT_TRUE(WaitUntil([&] { return overlay.Writes().size() >= overlayLines; }));
        program.Stop();
        return Normalised(JournalText(folder));
    }

    testing_support::TempDir dir;
    testing_support::MessageRecorder messages;
    testing_support::OverlayLogFile overlay;
    zamri::Program program;
    std::string folder = dir.File("journal");
};

TEST_F(ReceiptJournal, ANetworkSourceKeepsTheRecordsTheReplayPrints) {
    const int port = testing_support::FreePort();
    Start(0, "listen://127.0.0.1:" + std::to_string(port));
    std::string notation;
    for (const std::string& line : Lines(ReadFileBytes(kGolden + ".receipt")))
        if (line.rfind("#", 0) != 0)
            notation += line;
    zamri::SocketHandle s = zamri::kInvalidSocket;
    ASSERT_TRUE(
        WaitUntil([&] { return (s = zamri::SocketConnect("127.0.0.1", port)) != zamri::kInvalidSocket; }));
    ASSERT_TRUE(zamri::SocketSendAll(s, testing_support::PrinterBytes(notation)));
    zamri::SocketClose(s);

    Records expected = Normalised(ReadFileBytes(kGolden + ".jsonl"));
    ASSERT_EQ(expected.events.size(), 7u);
    Records kept = StopWhenShown(expected.lines.size());
    EXPECT_EQ(kept.lines, expected.lines);
    EXPECT_EQ(kept.events, expected.events);
    // The rule that does not compile was told at start-up; the others work.
    std::vector<std::string> told = messages.Messages();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("[Rule 2] Match"), std::string::npos) << told[0];
}

TEST_F(ReceiptJournal, TcpModeKeepsTheTransactionsAndExceptionsOfItsTextLines) {
    const int port = testing_support::FreePort();
    Start(1, "COM4", port);
    SendClient client;
    ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
    ASSERT_EQ(client.OpeningExchange(), 1);
    // The golden's printed lines, a form feed where the paper was cut.
    std::vector<std::string> sent;
    for (const std::string& line : Lines(ReadFileBytes(kGolden + ".lines"))) {
        if (line[0] == '6')
            continue;  // a drawer: no text line
        if (line[0] == '2')
            sent.back().insert(sent.back().size() - 1, "\f");
        else
            sent.push_back(line.substr(line.find('\t') + 1) + "\n");
    }
    for (const std::string& line : sent)
        ASSERT_EQ(client.SendTextLine(2, line.data(), static_cast<int>(line.size())), 1);

    // Their lines, and the banners of the rule and of the refund over its threshold.
    Records kept = StopWhenShown(18);
    ASSERT_EQ(kept.lines.size(), 18u);
    auto has = [&kept](size_t i, const std::string& text) {
        return i < kept.events.size() && kept.events[i].find(text) != std::string::npos;
    };
    ASSERT_EQ(kept.events.size(), 5u);
    EXPECT_TRUE(has(0, "\"kind\":\"void\",\"amount\":-2.99,\"line\":\"VOID BREAD WHOLE WHEAT    -2.99\""));
    EXPECT_TRUE(has(1, "\"kind\":\"Cash sale\",\"amount\":12.78"));
    EXPECT_TRUE(has(2, "\"event\":\"transaction\"")) << kept.events[2];
    EXPECT_TRUE(
        has(2,
            "\"total\":12.78,\"tenders\":[{\"name\":\"CASH\",\"amount\":20.0}],\"change\":7.22,"
            "\"cashier\":\"17\",\"register\":\"3\",\"number\":\"004217\",\"voids\":1,\"drawer\":false"));
    EXPECT_TRUE(has(3, "\"receipt\":2,\"cashier\":\"23\",\"kind\":\"refund\",\"amount\":-120.0"));
    EXPECT_TRUE(
        has(4,
            "\"total\":-120.0,\"tenders\":[{\"name\":\"CASH\",\"amount\":-120.0}],\"change\":null,"
            "\"cashier\":\"23\",\"register\":null,\"number\":\"88123\",\"voids\":0,\"drawer\":false"));
}

}  // namespace
