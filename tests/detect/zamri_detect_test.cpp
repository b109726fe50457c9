// zamri-detect run as the installer runs it, on recorded dumps of the golden receipts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "detect/findings_writer.h"
#include "detect/tap_detection.h"
#include "detect_golden.h"
#include "platform/os.h"
#include "support/temp_dir.h"
#include "zamri_detect_run.h"

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

std::string ZamriDetectProgram() {
    char self[1024];
    if (zamri::GetExecutablePath(self, sizeof self) <= 0)
        return "zamri-detect";
    std::string program(self);
    return program.substr(0, program.find_last_of("/\\") + 1) + "zamri-detect";
}

int RunZamriDetect(const testing_support::TempDir& dir, const std::string& args, std::string* out,
                   std::string* err) {
    std::string outFile = dir.File("out.txt");
    std::string errFile = dir.File("err.txt");
    int status =
        std::system((ZamriDetectProgram() + " " + args + " > " + outFile + " 2> " + errFile).c_str());
    *out = ReadFileBytes(outFile);
    if (err != nullptr)
        *err = ReadFileBytes(errFile);
    return status > 255 ? status >> 8 : status;  // a wait status on Linux, the exit code on Windows
}

TEST(ZamriDetect, FindsTheLanguageAndPageOfRecordedDumps) {
    testing_support::TempDir dir;
    for (const detect_testing::GoldenStream& golden :
         detect_testing::LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR)) {
        std::string dump = dir.File(golden.name + ".bin");
        ASSERT_TRUE(WriteFileBytes(dump, golden.bytes));
        std::string out;
        int code = RunZamriDetect(
            dir, "--json --recorder-page " + std::to_string(golden.recorderPage) + " " + dump, &out, nullptr);
        // What the detection finds in the same bytes, written out as the tool does.
        DetectFindings findings = DetectStream(reinterpret_cast<const uint8_t*>(golden.bytes.data()),
                                               golden.bytes.size(), golden.recorderPage);
        EXPECT_EQ(out, FindingsJson(findings, golden.recorderPage) + "\n") << golden.name;
        EXPECT_EQ(code, findings.stream.sure ? 0 : 1) << golden.name;
        ASSERT_FALSE(golden.emulations.empty());
        EXPECT_EQ(findings.stream.emulation, golden.emulations[0]) << golden.name;
        EXPECT_NE(out.find("\"line\":null,"), std::string::npos) << out;
    }

    // The text and the block: channel 4, and no port to name.
    std::string out;
    ASSERT_EQ(RunZamriDetect(dir, "--channel 4 " + dir.File("escpos_market.bin"), &out, nullptr), 0);
    EXPECT_NE(out.find("printer language: "), std::string::npos) << out;
    EXPECT_NE(out.find("[Channel]\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n4=1,"), std::string::npos) << out;
    EXPECT_NE(out.find("[Channel 4]\nCodePage=858\n"), std::string::npos) << out;
}

TEST(ZamriDetect, SaysNotSureOnNoiseAndRefusesBadUse) {
    testing_support::TempDir dir;
    std::string noise = dir.File("noise.bin");
    ASSERT_TRUE(WriteFileBytes(noise, detect_testing::Noise(7).Bytes(4000)));
    std::string out;
    std::string err;
    EXPECT_EQ(RunZamriDetect(dir, "--json " + noise, &out, nullptr), 1);
    EXPECT_NE(out.find("\"emulation\":null"), std::string::npos) << out;
    std::string empty = dir.File("empty.bin");
    ASSERT_TRUE(WriteFileBytes(empty, ""));
    EXPECT_EQ(RunZamriDetect(dir, empty, &out, nullptr), 1);
    EXPECT_NE(out.find("not sure"), std::string::npos) << out;

    EXPECT_EQ(RunZamriDetect(dir, "--seconds 0 COM7", &out, &err), 2);
    EXPECT_NE(err.find("--seconds takes"), std::string::npos) << err;
    EXPECT_EQ(RunZamriDetect(dir, "--frobnicate " + noise, &out, &err), 2);
    EXPECT_EQ(RunZamriDetect(dir, "", &out, &err), 2);
    EXPECT_EQ(RunZamriDetect(dir, "-q --seconds 2 " + dir.File("no-such-port"), &out, &err), 2);
    EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
    EXPECT_EQ(RunZamriDetect(dir, "--help", &out, &err), 0);
    EXPECT_NE(out.find("usage: zamri-detect"), std::string::npos);
}
