// Win32 backend: overlapped communications, polled every 50 ms while a read is pending.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "serial/serial_port.h"
#include "serial/serial_port_settings_win32.h"

struct SerialPortNative {
    std::atomic<HANDLE> port{nullptr};
    OVERLAPPED writeOverlapped = {};
    OVERLAPPED readOverlapped = {};
};

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kReadConstant = 1000;
constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// "COM1" to "COM9" open under their own names (case-sensitive); every other name needs the
// device prefix.
bool IsPlainComName(const char* name) {
    return std::strncmp(name, "COM", 3) == 0 && name[3] >= '1' && name[3] <= '9' && name[4] == 0;
}

void ClearErrors(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status;
    ClearCommError(port, &errors, &status);
}

void CloseIfSet(HANDLE& handle) {
    if (handle != nullptr)
        CloseHandle(handle);
    handle = nullptr;
}

// Wine completes a read whose 1000 ms constant ran out with ERROR_TIMEOUT, where Windows
// completes it with no bytes; both mean "nothing yet, read again".
bool IsQuietReadEnd(DWORD error) {
    return error == ERROR_TIMEOUT || error == WAIT_TIMEOUT;
}

}  // namespace

void MakePortTimeouts(const SerialPort& port, COMMTIMEOUTS* timeouts) {
    timeouts->ReadIntervalTimeout = MAXDWORD;
    timeouts->ReadTotalTimeoutMultiplier = 0;
    timeouts->ReadTotalTimeoutConstant = kReadConstant;
    timeouts->WriteTotalTimeoutMultiplier = static_cast<DWORD>(19200 / port.baudRate);
    timeouts->WriteTotalTimeoutConstant = 0;
}

void MakePortState(const SerialPort& port, DCB* dcb) {
    dcb->BaudRate = static_cast<DWORD>(port.baudRate);
    dcb->ByteSize = static_cast<BYTE>(port.dataBits);
    dcb->Parity = static_cast<BYTE>(port.parity);
    dcb->StopBits = static_cast<BYTE>(port.stopBits);
    dcb->fBinary = 1;
    dcb->fParity = 1;
    dcb->fDtrControl = (port.flowControl & 1) ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb->fRtsControl = (port.flowControl & 2) ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb->fOutX = dcb->fInX = (port.flowControl & 4) ? 1 : 0;
    dcb->XonChar = 0x11;
    dcb->XoffChar = 0x13;
    dcb->XonLim = 100;
    dcb->XoffLim = 100;
}

int SerialDevicePath(const char* name, char* out, int size) {
    if (name == nullptr || name[0] == 0 || out == nullptr || size <= 0)
        return 0;
    int written = IsPlainComName(name) ? std::snprintf(out, static_cast<size_t>(size), "%s", name)
                                       : std::snprintf(out, static_cast<size_t>(size), "\\\\.\\%s", name);
    if (written < 0 || written >= size) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

SerialPortNative* SerialPort::CreateNative() {
    return new SerialPortNative;
}

void SerialPort::DestroyNative(SerialPortNative* handles) {
    delete handles;
}

int SerialPort::OpenNative() {
    char path[kPortNameSize + 8];
    if (SerialDevicePath(portName, path, sizeof path) == 0)
        return 0;
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return 0;

    SetCommMask(port, EV_RXCHAR);
    SetupComm(port, kQueueSize, kQueueSize);
    PurgeComm(port, kPurgeAll);
    COMMTIMEOUTS timeouts = {};
    MakePortTimeouts(*this, &timeouts);
    SetCommTimeouts(port, &timeouts);

    DCB dcb = {};
    dcb.DCBlength = sizeof(DCB);
    GetCommState(port, &dcb);
    MakePortState(*this, &dcb);
    HANDLE writeEvent = nullptr;
    HANDLE readEvent = nullptr;
    bool ready = SetCommState(port, &dcb) != 0;
    if (ready)
        ready = (writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr)) != nullptr;
    if (ready)
        ready = (readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr)) != nullptr;
    if (!ready) {
        CloseIfSet(writeEvent);
        CloseIfSet(readEvent);
        CloseHandle(port);
        return 0;
    }
    native->writeOverlapped = OVERLAPPED{};
    native->writeOverlapped.hEvent = writeEvent;
    native->readOverlapped = OVERLAPPED{};
    native->readOverlapped.hEvent = readEvent;
    EscapeCommFunction(port, SETDTR);
    native->port = port;
    return 1;
}

void SerialPort::CloseNative() {
    HANDLE port = native->port.exchange(nullptr);
    SetCommMask(port, 0);
    EscapeCommFunction(port, CLRDTR);  // drop DTR before anything is discarded
    PurgeComm(port, kPurgeAll);        // also aborts a read still pending
    CloseHandle(port);
    CloseIfSet(native->writeOverlapped.hEvent);
    CloseIfSet(native->readOverlapped.hEvent);
}

// The pending read is polled every 50 ms and tests the stop flag each time.
void SerialPort::WakeReader() {}

int SerialPort::ReadBytes(void* buffer, int count) {
    lastReadFailed = 0;
    HANDLE port = native != nullptr ? native->port.load() : nullptr;
    if (port == nullptr) {
        lastReadFailed = 1;
        return 0;
    }
    unsigned char* out = static_cast<unsigned char*>(buffer);
    DWORD remaining = static_cast<DWORD>(count);
    DWORD deadline = readTimeout != 0 ? GetTickCount() + static_cast<DWORD>(readTimeout) : 0;
    OVERLAPPED* overlapped = &native->readOverlapped;
    while (remaining > 0) {
        DWORD got = 0;
        if (ReadFile(port, out + (count - remaining), remaining, &got, overlapped)) {
            remaining -= got;  // no bytes: the 1000 ms constant ran out; read again
            continue;
        }
        DWORD error = GetLastError();
        if (IsQuietReadEnd(error))
            continue;
        if (error != ERROR_IO_PENDING) {
            ClearErrors(port);
            lastReadFailed = 1;
            return 0;
        }
        if (stopRequested.load() != 0)
            return 0;  // the read stays pending; Close aborts it
        if (readTimeout != 0 && static_cast<LONG>(GetTickCount() - deadline) > 0) {
            ClearErrors(port);
            return 0;
        }
        for (;;) {
            if (GetOverlappedResult(port, overlapped, &got, FALSE)) {
                remaining -= got;
                break;
            }
            error = GetLastError();
            if (IsQuietReadEnd(error))
                break;
            if (error != ERROR_IO_INCOMPLETE) {
                ClearErrors(port);
                lastReadFailed = 1;
                return 0;
            }
            if (stopRequested.load() != 0)
                return 0;
            Sleep(kPollMilliseconds);
        }
    }
    return 1;
}

int SerialPort::WriteBytes(const void* buffer, int count) {
    HANDLE port = native != nullptr ? native->port.load() : nullptr;
    if (port == nullptr)
        return 0;
    DWORD written = 0;
    OVERLAPPED* overlapped = &native->writeOverlapped;
    if (WriteFile(port, buffer, static_cast<DWORD>(count), &written, overlapped))
        return 1;
    if (GetLastError() == ERROR_IO_PENDING) {
        for (;;) {
            if (GetOverlappedResult(port, overlapped, &written, TRUE))
                return 1;
            if (GetLastError() != ERROR_IO_INCOMPLETE)
                break;
        }
    }
    ClearErrors(port);
    return 0;
}

int SerialPort::OpenDumpFile(const char* fileName) {
    return _sopen(fileName, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

void SerialPort::WriteDumpFile(int descriptor, unsigned char byte) {
    _write(descriptor, &byte, 1);
}

void SerialPort::CloseDumpFile(int descriptor) {
    _close(descriptor);
}
