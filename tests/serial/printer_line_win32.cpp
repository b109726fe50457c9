#include <cstdio>
#include <cstdlib>
#include <string>

#include "printer_line.h"
#include "serial/serial_port.h"
#include "support/wait.h"

namespace testing_support {

struct PrinterLine::Ends {
    std::string name;
    SerialPort feed;
};

PrinterLine::PrinterLine() : ends_(new Ends) {
    const char* capture = std::getenv("ZAMRI_TEST_CAPTURE_PORT");
    const char* feed = std::getenv("ZAMRI_TEST_FEED_PORT");
    if (capture == nullptr || feed == nullptr || *capture == 0 || *feed == 0)
        return;
    ends_->feed.Configure(feed, 9600, 0, 8, 0, 0, 0);
    if (ends_->feed.Open())
        ends_->name = capture;
}

PrinterLine::~PrinterLine() = default;

bool PrinterLine::Available() const {
    return !ends_->name.empty();
}

const std::string& PrinterLine::PortName() const {
    return ends_->name;
}

bool PrinterLine::Write(const std::string& bytes) {
    return ends_->feed.WriteBytes(bytes.data(), static_cast<int>(bytes.size())) != 0;
}

namespace {

// Asks the test script for something and waits (bounded) for its answer.
bool AskScript(const char* what) {
    const char* control = std::getenv("ZAMRI_TEST_LINE_CONTROL");
    if (control == nullptr || *control == 0)
        return false;
    std::string request = std::string(control) + "/" + what + ".request";
    std::string done = std::string(control) + "/" + what + ".done";
    std::remove(done.c_str());
    FILE* file = std::fopen(request.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return WaitUntil([&] { return std::remove(done.c_str()) == 0; });
}

}  // namespace

bool PrinterLine::Unplug() {
    if (!Available())
        return false;
    ends_->feed.Close();
    return AskScript("unplug");
}

bool PrinterLine::Replug() {
    if (!Available() || !AskScript("replug"))
        return false;
    return ends_->feed.Open() != 0;
}

}  // namespace testing_support
