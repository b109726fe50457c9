// The journal behind the delivery step: lines from TCP mode and from a serial port's source,
// through the filter, in the recorder's code page; and a stalled disk that holds nobody back.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/line_flags.h"
#include "journal/delivered_record.h"
#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/journal_sink.h"
#include "program/program.h"
#include "receipt/receipt_rules.h"
#include "receipt/receipt_template.h"
#include "send_client.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "tcp/tcp_ingest_server.h"

using testing_support::OverlayLogFile;
using testing_support::TempDir;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

namespace {

std::vector<zamri::JournalRecord> Journal(const std::string& folder) {
    std::vector<zamri::JournalRecord> records;
    for (const zamri::JournalFile& file : zamri::ListJournalFiles(folder)) {
        std::string bytes;
        zamri::JournalFileReader reader;
        std::string_view block;
        uint64_t offset = 0;
        reader.Open(file.path);
        while (reader.Next(&block, &offset))
            bytes.append(block);
        size_t start = 0, end;
        while ((end = bytes.find('\n', start)) != std::string::npos) {
            zamri::RecordView view;
            zamri::JournalRecord record;
            if (zamri::ParseRecordView(std::string_view(bytes).substr(start, end - start), &view) &&
                zamri::RecordFromView(view, &record))
                records.push_back(record);
            start = end + 1;
        }
    }
    return records;
}

std::string Describe(const zamri::JournalRecord& r) {
    return std::to_string(r.camera) + "|" + std::to_string(r.flags) + "|" + std::to_string(r.receipt) + "|" +
           r.source + "|" + r.text;
}

class JournalSinkTest : public ::testing::Test {
  protected:
    void Start(int codePage, const std::string& recorderSettings) {
        folder = dir.File("journal");
        sink = std::make_shared<zamri::JournalSink>(folder, 90, nullptr);
        program.Delivery().SetTextCodePage(zamri::OverlayCodePageSource(codePage, recorderSettings));
        ASSERT_EQ(sink->Start(), 1);
        program.Delivery().SetFilter(LineFilter({"total"}, {"SECRET"}));
        program.Delivery().AddSink(sink);
    }
    size_t Written() { return static_cast<size_t>(sink->Writer().Written()); }

    TempDir dir;
    OverlayLogFile overlay;
    zamri::Program program;
    ChannelTable& table = program.Table();
    std::string folder;
    std::shared_ptr<zamri::JournalSink> sink;
};

TEST_F(JournalSinkTest, TcpModeAndSerialLinesWithFlagsReceiptsAndWindows1252Text) {
    Start(1252, "");
    table.SetMode(1);
    table.SetTcpPort(0);
    table.StartCapture();
    int port = program.Capture().TcpServer()->ListeningPort();
    {
        SendClient client;
        ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
        ASSERT_EQ(client.OpeningExchange(), 1);
        for (const char* line : {"Bi\xE8re 3.80\n", "SECRET 1234\n", "Total \x80 3.80\x0C\n", "NEXT\n"})
            ASSERT_EQ(client.SendTextLine(5, line, static_cast<int>(std::strlen(line))), 1);
    }
    ASSERT_TRUE(WaitUntil([&] { return Written() >= 3; }));
    // A serial capture thread hands its lines on with its port's name.
    program.Delivery().Deliver(2, 1, "/dev/ttyS1", "K\xE4se Br\xF6tchen");
    ASSERT_TRUE(WaitUntil([&] { return Written() >= 4; }));
    table.StopCapture();
    sink->Stop();
    std::vector<std::string> got;
    for (const auto& r : Journal(folder))
        got.push_back(Describe(r));
    // TCP lines name the sender; the Ignore line is not kept; the Important line is flagged 4.
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "5|0|1|127.0.0.1|Bi\xC3\xA8re 3.80");
    EXPECT_EQ(got[1], "5|6|1|127.0.0.1|Total \xE2\x82\xAC 3.80");
    EXPECT_EQ(got[3], "2|1|1|/dev/ttyS1|K\xC3\xA4se Br\xC3\xB6tchen");
    EXPECT_EQ(got[2], "5|0|2|127.0.0.1|NEXT");
}

TEST_F(JournalSinkTest, TheRecordersHebrewSettingMeansWindows1255) {
    std::string recorder = dir.File("ruvo.ini");
    ASSERT_TRUE(WriteFileBytes(recorder, "[generic]\npos_hebrew=1\n"));
    Start(1252, recorder);
    program.Delivery().Deliver(7, 0, "COM7", "\xF9\xEC\xE5\xED 5.00");
    ASSERT_TRUE(WaitUntil([&] { return Written() >= 1; }));
    sink->Stop();
    auto records = Journal(folder);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 5.00");
}

// A sink whose disk never answers: Consume waits until the test lets it go.
class StalledJournal : public zamri::JournalSink {
  public:
    using JournalSink::JournalSink;
    ~StalledJournal() override {
        Release();
        Stop(0);
    }
    bool Entered() {
        std::lock_guard<std::mutex> guard(lock);
        return entered;
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
        wake.notify_all();
    }

  protected:
    void Consume(const DeliveredLine& line) override {
        std::unique_lock<std::mutex> guard(lock);
        entered = true;
        wake.wait(guard, [&] { return released; });
        guard.unlock();
        JournalSink::Consume(line);
    }

  private:
    std::mutex lock;
    std::condition_variable wake;
    bool released = false;
    bool entered = false;
};

TEST_F(JournalSinkTest, AStalledDiskNeverHoldsCaptureAndCountsWhatDidNotFit) {
    folder = dir.File("journal");
    auto stalled = std::make_shared<StalledJournal>(folder, 90, nullptr, nullptr, 64);
    ASSERT_EQ(stalled->Start(), 1);
    program.Delivery().AddSink(stalled);
    // Every delivery returns although the writer never finishes a line.
    constexpr int kLines = 20000;
    ASSERT_EQ(program.Delivery().Deliver(1, 0, "COM1", "FIRST"), 1);
    ASSERT_TRUE(WaitUntil([&] { return stalled->Entered(); }));
    for (int i = 1; i < kLines; ++i)
        ASSERT_EQ(program.Delivery().Deliver(1 + i % 32, 0, "COM1", "ITEM 1.00"), 1);
    // The queue holds 64 lines (the one with the stalled writer among them); the rest were counted.
    EXPECT_EQ(stalled->DroppedLines(), static_cast<uint64_t>(kLines - 64));
    stalled->Release();
    ASSERT_TRUE(WaitUntil([&] { return stalled->Writer().Written() == 64; }));
    stalled->Stop();
    EXPECT_EQ(Journal(folder).size(), 64u);
}

}  // namespace

TEST_F(JournalSinkTest, ARefundsDrawerTransactionAndExceptionRecordsLieBesideItsLinesAndReadersSkipThem) {
    Start(1252, "");
    zamri::ReceiptSettings receipts;
    receipts.templateChoice[1] = 0;
    receipts.templates.push_back(std::make_shared<const zamri::ReceiptTemplate>(1252));
    receipts.rules = zamri::ExceptionRules::Compile(zamri::ExceptionOptions(), {}, 1252, nullptr);
    program.Delivery().SetReceipts(receipts);
    const char* const lines[] = {"CLERK: 23           TRANS# 88123", "        *** REFUND ***",
                                 "HOSE REEL 100FT          120.00", "TOTAL                   -120.00",
                                 "CASH                    -120.00"};
    for (int i = 0; i < 5; ++i)
        program.Delivery().Deliver(2, i == 0 ? 1 : i == 4 ? 2 : 0, "COM2", lines[i]);
    program.Delivery().Deliver(2, kLineFlagDrawer, "COM2", "");
    program.Delivery().Flush();
    ASSERT_TRUE(WaitUntil([&] { return Written() >= 8; }));
    sink->Stop();
    // The lines as they were; the records are no lines to the journal's readers.
    ASSERT_EQ(Journal(folder).size(), 5u);
    std::string bytes;
    for (const zamri::JournalFile& file : zamri::ListJournalFiles(folder))
        bytes += testing_support::ReadFileBytes(file.path);
    std::vector<std::string> events;
    for (size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        if (bytes.compare(start, 9, "{\"event\":") == 0)
            events.push_back(bytes.substr(start, end - start));
    ASSERT_EQ(events.size(), 3u) << bytes;
    EXPECT_EQ(events[0].find("{\"event\":\"drawer\",\"time\":\""), 0u);
    EXPECT_NE(events[0].find("\",\"camera\":2,\"source\":\"COM2\",\"receipt\":2}"), std::string::npos);
    EXPECT_NE(events[1].find("\"kind\":\"refund\",\"amount\":-120.0,\"line\":\"        *** REFUND ***\"}"),
              std::string::npos)
        << events[1];
    EXPECT_NE(events[2].find(
                  "\"total\":-120.0,\"tenders\":[{\"name\":\"CASH\",\"amount\":-120.0}],\"change\":null,"
                  "\"cashier\":\"23\",\"register\":null,\"number\":\"88123\",\"voids\":0,\"drawer\":true}"),
              std::string::npos)
        << events[2];
}
