#include "serial/serial_port.h"

#include <chrono>
#include <cstring>

#include "platform/os.h"

SerialPort::SerialPort() : native(CreateNative()) {}

SerialPort::~SerialPort() {
    Close();
    CloseDump();
    DestroyNative(native);
}

int SerialPort::Configure(const char* name, int baud, int parityCode, int bits, int stopCode, int flow,
                          int timeout) {
    size_t length = name != nullptr ? std::strlen(name) : 0;
    if (length > kPortNameSize - 1)
        length = kPortNameSize - 1;
    if (length > 0)
        std::memcpy(portName, name, length);
    portName[length] = 0;
    baudRate = baud;
    parity = parityCode;
    dataBits = bits;
    stopBits = stopCode;
    flowControl = flow;
    readTimeout = timeout;
    return 1;
}

int SerialPort::Open() {
    std::lock_guard<std::mutex> guard(lock);
    if (open.load() != 0 || native == nullptr || baudRate <= 0)
        return 0;
    if (OpenNative() == 0)
        return 0;
    open = 1;
    return 1;
}

int SerialPort::Close() {
    std::lock_guard<std::mutex> guard(lock);
    if (open.load() == 0)
        return 0;
    open = 0;
    CloseNative();
    return 1;
}

void SerialPort::RequestStop() {
    stopRequested = 1;
    if (native != nullptr)
        WakeReader();
}

SerialErrorCounts SerialPort::ErrorCounts() const {
    SerialErrorCounts counts;
    counts.framing = framingErrors.load(std::memory_order_relaxed);
    counts.parity = parityErrors.load(std::memory_order_relaxed);
    counts.overrun = overruns.load(std::memory_order_relaxed);
    return counts;
}

void SerialPort::CountMarks(uint8_t marks) {
    if (marks & (kMarkFraming | kMarkBreak))
        framingErrors.fetch_add(1, std::memory_order_relaxed);
    if (marks & kMarkParity)
        parityErrors.fetch_add(1, std::memory_order_relaxed);
    if (marks & kMarkOverrun)
        overruns.fetch_add(1, std::memory_order_relaxed);
}

void SerialPort::PauseUnlessStopped(int milliseconds) {
    constexpr int kStep = 10;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (stopRequested.load() == 0 && std::chrono::steady_clock::now() < deadline)
        zamri::SleepMilliseconds(kStep);
}

int SerialPort::OpenDump(const char* name, const char* fileName) {
    if (name == nullptr || std::strcmp(name, portName) != 0)
        return 0;
    int descriptor = fileName != nullptr ? OpenDumpFile(fileName) : -1;
    std::lock_guard<std::mutex> guard(dumpLock);
    if (dumpFile != -1)
        CloseDumpFile(dumpFile);
    dumpFile = descriptor;
    return 1;
}

int SerialPort::CloseDump() {
    std::lock_guard<std::mutex> guard(dumpLock);
    if (dumpFile != -1)
        CloseDumpFile(dumpFile);
    dumpFile = -1;
    return 1;
}

void SerialPort::DumpByte(unsigned char byte) {
    if (dumpFile.load(std::memory_order_relaxed) == -1)
        return;  // no dump: no lock per byte
    std::lock_guard<std::mutex> guard(dumpLock);
    if (dumpFile.load() != -1)
        WriteDumpFile(dumpFile.load(), byte);
}
