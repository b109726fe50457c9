#include <cstdlib>

#include "printer_line.h"
#include "serial/serial_port.h"

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

bool PrinterLine::Unplug() {
    return false;
}

}  // namespace testing_support
