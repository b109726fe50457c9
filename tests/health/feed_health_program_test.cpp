// Feed health through the whole program on Linux: a pseudo-terminal channel whose cable is
// pulled and plugged back in, and a sender its network channel refuses, end up as health
// records in the real journal and as signed requests at a real webhook receiver on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "journal/event_output.h"
#include "journal/journal_events.h"
#include "platform/local_time.h"
#include "program/program.h"
#include "serial/serial_capture.h"
#include "support/free_port.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "support/webhook_receiver.h"

namespace {

// A printer cable under a fixed name: a link to a pseudo-terminal that can be pulled and made
// anew, as a USB adapter comes back under its old name.
class Cable {
  public:
    explicit Cable(std::string link) : link(std::move(link)) { Plug(); }
    ~Cable() { Pull(); }
    bool Plug() {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios raw;
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        std::filesystem::create_symlink(name, link);
        return true;
    }
    void Pull() {
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
        master = slave = -1;
    }

  private:
    std::string link;
    int master = -1, slave = -1;
};

// The journal's health records so far, as the event reader finds them.
std::vector<zamri::EventRecord> HealthRecords(const std::string& folder, const std::string& kind) {
    zamri::JournalEventReader reader;
    zamri::EventQuery query;
    query.event = "health";
    query.kind = kind;
    std::string error;
    std::vector<zamri::EventRecord> found;
    if (reader.Prepare(query, &error) != 1)
        return found;
    zamri::EventStats stats;
    reader.Run(
        folder,
        [&](const zamri::EventRecord& record) {
            found.push_back(record);
            return true;
        },
        &stats, &error);
    return found;
}

TEST(FeedHealthProgram, APulledCableAndARefusedSenderReachTheJournalAndTheWebhook) {
    testing_support::WebhookReceiver receiver(ZAMRI_RECEIVER_DIR);
    if (!receiver.Running())
        GTEST_SKIP() << "no receiver: run through CTest, which starts tests/alert/webhook_receiver.py";
    testing_support::SetEnv("ZAMRI_RECORDER_INI", nullptr);
    testing_support::TempDir dir;
    Cable cable(dir.File("printer"));
    int listenPort = testing_support::FreePort();
    std::string path = "/ok/health-" + std::to_string(zamri::UtcNowMilliseconds());
    {
        std::ofstream ini(dir.File("zamri.ini"), std::ios::binary);
        ini << "[Channel]\n1=1," << dir.File("printer") << ",9600,0,8,0,0,0,0,\n"
            << "2=1,listen://127.0.0.1:" << listenPort << ",9600,0,8,0,0,0,0,\n"
            << "[Channel 2]\nAllowedSenders=10.9.9.9\n"
            << "[Options]\nJournal=journal\n"
            << "[Webhook 1]\nURL=http://127.0.0.1:" << receiver.httpPort << path
            << "\nSecret=" << receiver.secret << "\nEvents=health\n";
    }
    zamri::Program program;
    program.Table().SetSettingsPath(dir.File("zamri.ini").c_str());
    ASSERT_EQ(program.Start(""), 1);
    std::string journal = dir.File("journal");

    // A sender that is not on the allowed list knocks.
    ASSERT_TRUE(testing_support::WaitUntil([&] {
        int knock = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(listenPort));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(knock, reinterpret_cast<sockaddr*>(&to), sizeof to);
        close(knock);
        return !HealthRecords(journal, "refused-sender").empty();
    }));
    std::vector<zamri::EventRecord> refused = HealthRecords(journal, "refused-sender");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].camera, 0);
    EXPECT_EQ(refused[0].source, "127.0.0.1");
    EXPECT_NE(refused[0].stored.find("\"state\":\"start\""), std::string::npos) << refused[0].stored;

    // The cable is pulled, and plugged back in under its name.
    ASSERT_TRUE(testing_support::WaitUntil([&] {
        SerialCapture* capture = program.Capture().runs[0].capture.load();
        return capture != nullptr && capture->IsOpen() != 0;
    }));
    cable.Pull();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !HealthRecords(journal, "port").empty(); }));
    ASSERT_TRUE(cable.Plug());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return HealthRecords(journal, "port").size() == 2; }));
    std::vector<zamri::EventRecord> port = HealthRecords(journal, "port");
    EXPECT_EQ(port[0].camera, 1);
    EXPECT_EQ(port[0].source, dir.File("printer"));
    EXPECT_NE(port[0].stored.find("\"state\":\"start\""), std::string::npos) << port[0].stored;
    EXPECT_NE(port[1].stored.find("\"state\":\"end\""), std::string::npos) << port[1].stored;
    std::string shown;  // as zamri-find --health prints it
    zamri::AppendEventLine(port[0], &shown);
    EXPECT_NE(shown.find("  port  start  the port fails"), std::string::npos) << shown;

    // The same three events reach the hook, signed, as "health" bodies.
    std::vector<std::string> received = receiver.Received(path, 3);
    ASSERT_GE(received.size(), 3u);
    for (const std::string& line : received)
        EXPECT_EQ(testing_support::ReceiverField(line, "verified"), "true") << line;
    std::string bodies;
    for (const std::string& line : received)
        bodies += line + "\n";
    EXPECT_NE(bodies.find("\\\"event\\\":\\\"health\\\""), std::string::npos) << bodies;
    for (const char* kind : {"refused-sender", "port"})
        EXPECT_NE(bodies.find(kind), std::string::npos) << kind << "\n" << bodies;
    program.Stop();
}

}  // namespace
