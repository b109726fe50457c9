#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "printer_line.h"

namespace testing_support {

struct PrinterLine::Ends {
    int master = -1;
    int slave = -1;  // held open so that the line does not hang up while no channel has it open
    std::string name;
};

PrinterLine::PrinterLine() : ends_(new Ends) {
    char name[256];
    if (openpty(&ends_->master, &ends_->slave, name, nullptr, nullptr) != 0)
        return;
    termios raw;
    tcgetattr(ends_->master, &raw);
    cfmakeraw(&raw);
    tcsetattr(ends_->master, TCSANOW, &raw);
    ends_->name = name;
}

PrinterLine::~PrinterLine() {
    if (ends_->master >= 0)
        close(ends_->master);
    if (ends_->slave >= 0)
        close(ends_->slave);
}

bool PrinterLine::Available() const {
    return ends_->master >= 0;
}

const std::string& PrinterLine::PortName() const {
    return ends_->name;
}

bool PrinterLine::Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(ends_->master, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

bool PrinterLine::Unplug() {
    if (ends_->master < 0)
        return false;
    close(ends_->master);
    ends_->master = -1;
    close(ends_->slave);
    ends_->slave = -1;
    return true;
}

bool PrinterLine::Replug() {
    return false;
}

}  // namespace testing_support
