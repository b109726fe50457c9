// zamri-detect on a pseudo-terminal that the test feeds as a till would. A pseudo-terminal has
// no line rate and garbles nothing, so the first setting tried reads it cleanly: what this shows
// is the listening, the language and the page, not the line settings.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "detect_golden.h"
#include "support/temp_dir.h"
#include "zamri_detect_run.h"

TEST(ZamriDetect, ListensOnAPortAndFindsTheStreamOnIt) {
    std::string receipt;
    for (const detect_testing::GoldenStream& golden :
         detect_testing::LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR))
        if (golden.name == "escpos_market")
            receipt = golden.bytes;
    ASSERT_FALSE(receipt.empty());
    int master = -1;
    int slave = -1;
    char path[256];
    ASSERT_EQ(openpty(&master, &slave, path, nullptr, nullptr), 0);
    termios raw;
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);  // a full queue drops, never blocks

    testing_support::TempDir dir;
    std::string out;
    std::atomic<int> code{-1};
    std::thread detect(
        [&] { code = RunZamriDetect(dir, "-q --json --seconds 60 " + std::string(path), &out, nullptr); });
    // The till prints its receipt again and again until the listener has seen enough.
    while (code.load() == -1) {
        size_t sent = 0;
        while (sent < receipt.size() && code.load() == -1) {
            ssize_t put = write(master, receipt.data() + sent, std::min<size_t>(64, receipt.size() - sent));
            if (put > 0)
                sent += static_cast<size_t>(put);
            usleep(5000);
        }
        usleep(200000);
    }
    detect.join();
    close(master);
    close(slave);
    EXPECT_EQ(code.load(), 0) << out;
    EXPECT_NE(out.find("{\"emulation\":2,\"codePage\":858,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"line\":{\"baud\":"), std::string::npos) << out;
}
