// termios backend. The port is opened non-blocking and read through poll() together with a
// wake pipe, so a stop request ends a pending read at once and an idle line costs nothing.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "serial/serial_line_settings_posix.h"
#include "serial/serial_port.h"

struct SerialPortNative {
    std::atomic<int> fd{-1};
    int wake[2] = {-1, -1};  // written by RequestStop; -1 when no pipe could be made
    // Bytes read ahead, their PARMRK escapes taken out: the decoder asks for one byte at a time,
    // and a system call per byte would cost a core's worth of CPU for a few fast ports. Reader
    // thread only; bytes of an earlier open are dropped by comparing the open's number.
    std::atomic<unsigned> opens{0};
    unsigned aheadOpen = 0;
    ParmrkReader escapes;
    unsigned char raw[255];
    ReceivedByte ahead[256];  // one more than raw: a 0xFF held over from the last read
    int aheadStart = 0;
    int aheadEnd = 0;
};

namespace {

constexpr int kStopPollMilliseconds = 50;  // only when there is no wake pipe

bool BaudConstant(int baud, speed_t* speed) {
    struct Rate {
        int baud;
        speed_t speed;
    };
    static const Rate kRates[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                                  {150, B150},       {200, B200},       {300, B300},       {600, B600},
                                  {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                                  {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                                  {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            *speed = rate.speed;
            return true;
        }
    }
    return false;  // 14400 among others: set through termios2 after the rest
}

bool ApplyLineSettings(int fd, const SerialPort& port) {
    termios settings;
    if (tcgetattr(fd, &settings) != 0)
        return false;  // not a terminal
    bool standardRate = MakeLineSettings(port, &settings);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return false;
    return standardRate || SetOtherBaudRate(fd, port.baudRate);
}

// Whole milliseconds left until the deadline, rounded up: a timed read must not give up before its
// time is out, which truncated clock readings would let it do by up to a millisecond.
int64_t MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    return std::chrono::ceil<std::chrono::milliseconds>(left).count();
}

}  // namespace

bool MakeLineSettings(const SerialPort& port, termios* out) {
    termios& settings = *out;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // Bad bytes marked in the data (0xFF 0x00 byte; a good 0xFF doubled), so that reads can tell
    // wrong line settings or a bad cable from text.
    settings.c_iflag &= ~(IGNPAR | ISTRIP | IGNBRK | BRKINT);
    settings.c_iflag |= INPCK | PARMRK;
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (port.dataBits & 0xFF) {
        case 5:
            settings.c_cflag |= CS5;
            break;
        case 6:
            settings.c_cflag |= CS6;
            break;
        case 7:
            settings.c_cflag |= CS7;
            break;
        default:
            settings.c_cflag |= CS8;
            break;
    }
    switch (port.parity & 0xFF) {
        case 1:
            settings.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            settings.c_cflag |= PARENB;
            break;
        case 3:
            settings.c_cflag |= PARENB | CMSPAR | PARODD;
            break;  // mark
        case 4:
            settings.c_cflag |= PARENB | CMSPAR;
            break;  // space
        default:
            break;
    }
    // There is no 1.5 in termios; with 5 data bits the UART sends 1.5 for CSTOPB, else 2.
    if ((port.stopBits & 0xFF) != 0)
        settings.c_cflag |= CSTOPB;
    if (port.flowControl & 2)
        settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (port.flowControl & 4)
        settings.c_iflag |= IXON | IXOFF;
    settings.c_cc[VSTART] = 0x11;
    settings.c_cc[VSTOP] = 0x13;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    speed_t speed;
    if (port.baudRate <= 0 || !BaudConstant(port.baudRate, &speed))
        return false;
    return cfsetispeed(&settings, speed) == 0 && cfsetospeed(&settings, speed) == 0;
}

int SerialDevicePath(const char* name, char* out, int size) {
    if (name == nullptr || name[0] == 0 || out == nullptr || size <= 0)
        return 0;
    int written = -1;
    if (name[0] == '/') {
        written = std::snprintf(out, static_cast<size_t>(size), "%s", name);
    } else if (std::strncmp(name, "COM", 3) == 0 && name[3] >= '1' && name[3] <= '9') {
        int number = 0;
        const char* p = name + 3;
        for (; *p >= '0' && *p <= '9' && number < 100000; ++p)
            number = number * 10 + (*p - '0');
        if (*p == 0)
            written = std::snprintf(out, static_cast<size_t>(size), "/dev/ttyS%d", number - 1);
    }
    if (written < 0 && name[0] != '/' && std::strchr(name, '/') == nullptr) {
        written = std::snprintf(out, static_cast<size_t>(size), "/dev/%s", name);
    }
    if (written < 0 || written >= size) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

SerialPortNative* SerialPort::CreateNative() {
    SerialPortNative* handles = new SerialPortNative;
    if (pipe2(handles->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        handles->wake[0] = handles->wake[1] = -1;
    return handles;
}

void SerialPort::DestroyNative(SerialPortNative* handles) {
    if (handles == nullptr)
        return;
    if (handles->wake[0] >= 0)
        close(handles->wake[0]);
    if (handles->wake[1] >= 0)
        close(handles->wake[1]);
    delete handles;
}

int SerialPort::OpenNative() {
    char path[kPortNameSize + 16];
    if (SerialDevicePath(portName, path, sizeof path) == 0)
        return 0;
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    // Exclusive, as on Windows: the lock keeps out every other open (root included, which
    // TIOCEXCL alone does not), TIOCEXCL keeps out programs that do not lock.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !ApplyLineSettings(fd, *this)) {
        close(fd);
        return 0;
    }
    ioctl(fd, TIOCEXCL);
    tcflush(fd, TCIOFLUSH);  // nothing queued before the open counts
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);  // fails harmlessly on a pseudo-terminal
    native->opens.fetch_add(1);
    native->fd = fd;
    return 1;
}

void SerialPort::CloseNative() {
    int fd = native->fd.exchange(-1);
    int lines = TIOCM_DTR;
    ioctl(fd, TIOCMBIC, &lines);  // drop DTR before anything is discarded
    tcflush(fd, TCIOFLUSH);
    ioctl(fd, TIOCNXCL);
    close(fd);
}

void SerialPort::WakeReader() {
    if (native->wake[1] < 0)
        return;
    char byte = 1;
    ssize_t ignored = write(native->wake[1], &byte, 1);  // a full pipe is already a wake-up
    (void)ignored;
}

int SerialPort::FillAhead(int* waited) {
    lastReadFailed = 0;
    if (waited != nullptr)
        *waited = 0;
    int fd = native != nullptr ? native->fd.load() : -1;
    if (fd < 0) {
        lastReadFailed = 1;
        return 0;
    }
    SerialPortNative& state = *native;
    if (state.aheadOpen != state.opens.load()) {  // the port was opened again: nothing old counts
        state.aheadOpen = state.opens.load();
        state.aheadStart = state.aheadEnd = 0;
        state.escapes = ParmrkReader();
    }
    if (state.aheadStart < state.aheadEnd)
        return 1;
    std::chrono::steady_clock::time_point deadline;
    if (readTimeout != 0)
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeout);
    bool first = true;
    for (;;) {
        if (stopRequested.load() != 0)
            return 0;
        int timeout = native->wake[0] >= 0 ? -1 : kStopPollMilliseconds;
        if (readTimeout != 0) {
            int64_t left = MillisecondsUntil(deadline);
            if (left <= 0)
                return 0;
            if (timeout < 0 || left < timeout)
                timeout = static_cast<int>(left);
        }
        // A first look without waiting tells bytes already there from bytes after a pause.
        pollfd watched[2] = {{fd, POLLIN, 0}, {native->wake[0], POLLIN, 0}};
        int ready = poll(watched, native->wake[0] >= 0 ? 2 : 1, first ? 0 : timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            lastReadFailed = 1;
            return 0;
        }
        if (stopRequested.load() != 0)
            return 0;
        if (ready == 0 || (watched[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) {
            if (first && waited != nullptr)
                *waited = 1;
            first = false;
            continue;
        }
        first = false;
        if (watched[0].revents & POLLNVAL) {
            lastReadFailed = 1;
            return 0;
        }
        ssize_t got = read(fd, state.raw, sizeof state.raw);
        if (got > 0) {
            int count = 0;
            for (ssize_t i = 0; i < got; ++i)
                count += state.escapes.Feed(state.raw[i], state.ahead + count);
            for (int i = 0; i < count; ++i)
                CountMarks(state.ahead[i].marks);
            state.aheadStart = 0;
            state.aheadEnd = count;
            if (count > 0)
                return 1;
            continue;  // all of it was the beginning of an escape
        }
        bool hungUp = (watched[0].revents & (POLLHUP | POLLERR)) != 0;
        if (got < 0 && (errno == EAGAIN || errno == EINTR) && !hungUp)
            continue;
        lastReadFailed = 1;  // end of file or an error: the device hung up or went away
        return 0;
    }
}

int SerialPort::ReadBytes(void* buffer, int count) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int done = 0;
    while (done < count) {
        if (FillAhead(nullptr) == 0)
            return 0;
        SerialPortNative& state = *native;
        while (done < count && state.aheadStart < state.aheadEnd)
            out[done++] = state.ahead[state.aheadStart++].value;
    }
    return 1;
}

int SerialPort::MarksEachByte() {
    return 1;
}

int SerialPort::ReadMarked(ReceivedByte* out, int capacity, int* waited) {
    if (capacity <= 0 || FillAhead(waited) == 0)
        return 0;
    SerialPortNative& state = *native;
    int done = 0;
    while (done < capacity && state.aheadStart < state.aheadEnd)
        out[done++] = state.ahead[state.aheadStart++];
    return done;
}

int SerialPort::WriteBytes(const void* buffer, int count) {
    int fd = native != nullptr ? native->fd.load() : -1;
    if (fd < 0)
        return 0;
    const unsigned char* in = static_cast<const unsigned char*>(buffer);
    int done = 0;
    while (done < count) {
        ssize_t put = write(fd, in + done, static_cast<size_t>(count - done));
        if (put > 0) {
            done += static_cast<int>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN) {
            pollfd watched = {fd, POLLOUT, 0};
            if (poll(&watched, 1, 1000) <= 0)
                return 0;
            continue;
        }
        return 0;
    }
    return 1;
}

int SerialPort::OpenDumpFile(const char* fileName) {
    return ::open(fileName, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

void SerialPort::WriteDumpFile(int descriptor, unsigned char byte) {
    ssize_t ignored = write(descriptor, &byte, 1);
    (void)ignored;
}

void SerialPort::CloseDumpFile(int descriptor) {
    close(descriptor);
}
