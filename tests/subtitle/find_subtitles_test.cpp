// zamri-find --srt / --vtt over a journal folder of its own: one camera's receipts in the range,
// timed from the clip's start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "alert/digest_schedule.h"
#include "journal/journal_record.h"
#include "platform/local_time.h"
#include "platform/os.h"
#include "support/temp_dir.h"
#include "text/civil_days.h"

namespace {

// A record at local time 2026-12-08 14:MM:SS, as the journal writes it here, or (shift) where
// the clock runs that many minutes ahead of this machine's.
std::string Record(int minute, int second, int camera, int flags, int receipt, const char* text,
                   int shift = 0) {
    int64_t local = ((zamri::DaysFromCivil(2026, 12, 8) * 24 + 14) * 60 + minute) * 60000 + second * 1000LL;
    int64_t utc = zamri::UtcOfLocalTime(local, zamri::SystemAlertClock()) - shift * 60000LL;
    zamri::JournalRecord record;
    record.utcMilliseconds = utc;
    record.utcOffsetMinutes = zamri::LocalUtcOffsetMinutes(utc) + shift;
    record.camera = camera;
    record.flags = flags;
    record.receipt = receipt;
    record.source = "COM3";
    record.text = text;
    std::string line;
    zamri::AppendRecordLine(record, &line);
    return line;
}

TEST(FindSubtitles, OneCamerasReceiptsTimedFromTheClipStart) {
    testing_support::TempDir dir;
    std::string folder = dir.File("journal");
    std::string day = Record(1, 50, 3, 1, 17, "SHOP <B>") + Record(1, 51, 3, 4, 17, "REFUND 12.50") +
                      Record(1, 52, 3, 2, 17, "TOTAL 12.50") + Record(1, 53, 4, 1, 2, "OTHER CAMERA") +
                      Record(9, 0, 3, 1, 18, "AFTER THE CLIP");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ASSERT_TRUE(testing_support::WriteFileBytes(dir.File("journal/2026-12-08.jsonl"), day));

    char self[1024];
    ASSERT_GT(zamri::GetExecutablePath(self, sizeof self), 0);
    std::string program(self);
    program = program.substr(0, program.find_last_of("/\\") + 1) + "zamri-find";
    std::string out = dir.File("out.txt");
    auto run = [&](const std::string& args) {
        return std::system((program + " -q --journal " + folder + " --camera 3 --from \"2026-12-08 14:00\" " +
                            "--to \"2026-12-08 14:05\" " + args + " > " + out)
                               .c_str());
    };
    ASSERT_EQ(run("--vtt --clip-start \"2026-12-08 14:01\""), 0);
    EXPECT_EQ(testing_support::ReadFileBytes(out),
              "WEBVTT\n\n"
              "00:50.000 --> 00:51.000\nSHOP &lt;B&gt;\n\n"
              "00:51.000 --> 00:52.000\nSHOP &lt;B&gt;\n<b>REFUND 12.50</b>\n\n"
              "00:52.000 --> 00:57.000\nSHOP &lt;B&gt;\n<b>REFUND 12.50</b>\nTOTAL 12.50\n");
    ASSERT_EQ(run("--srt"), 0);
    std::string srt = testing_support::ReadFileBytes(out);
    EXPECT_EQ(srt.substr(0, 43),
              "\xEF\xBB\xBF"
              "1\r\n00:01:50,000 --> 00:01:51,000\r\nSHOP <");
    EXPECT_NE(run("--srt nothing"), 0);  // subtitles are whole receipts, not a search

    // A journal kept in another zone: the clip's times are the lines' own, as the search reads them.
    std::string away = Record(1, 50, 3, 1, 17, "SHOP <B>", 120) + Record(1, 52, 3, 2, 17, "TOTAL 12.50", 120);
    ASSERT_TRUE(testing_support::WriteFileBytes(dir.File("journal/2026-12-08.jsonl"), away));
    ASSERT_EQ(run("--vtt --clip-start \"2026-12-08 14:01\""), 0);
    EXPECT_EQ(testing_support::ReadFileBytes(out),
              "WEBVTT\n\n00:50.000 --> 00:52.000\nSHOP &lt;B&gt;\n\n00:52.000 --> 00:57.000\nSHOP "
              "&lt;B&gt;\nTOTAL 12.50\n");
}

}  // namespace
