// Win32 backend: overlapped communications. Bytes already queued are taken in one read; when
// none are, a one-byte read waits, checked every 50 ms for a stop.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "serial/serial_port.h"
#include "serial/serial_port_settings_win32.h"

struct SerialPortNative {
    std::atomic<HANDLE> port{nullptr};
    OVERLAPPED writeOverlapped = {};
    OVERLAPPED readOverlapped = {};
    // Reads go into this buffer, never into the caller's: a read left pending by a stop or a
    // time-out may still complete until Close aborts it, and the caller's buffer is gone by then.
    unsigned char ahead[4096];
    int aheadStart = 0;
    int aheadEnd = 0;
    std::atomic<bool> readPending{false};
    std::atomic<unsigned> opens{0};
    unsigned aheadOpen = 0;  // reader thread only
    // ClearCommError's bits since the last read came in, as marks, and those of the read-ahead
    // bytes' first byte (reader thread only).
    uint8_t pendingMarks = 0;
    uint8_t firstMarks = 0;
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

// Clears the port's error state, which would stop further reads, adding its bits to *marks;
// returns the bytes the driver holds already (a read of that many completes at once).
DWORD ClearErrors(HANDLE port, uint8_t* marks) {
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(port, &errors, &status))
        return 0;
    *marks |= MarksFromCommErrors(errors);
    return status.cbInQue;
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
    native->readPending = false;
    native->opens.fetch_add(1);
    native->port = port;
    return 1;
}

void SerialPort::CloseNative() {
    HANDLE port = native->port.exchange(nullptr);
    SetCommMask(port, 0);
    EscapeCommFunction(port, CLRDTR);  // drop DTR before anything is discarded
    PurgeComm(port, kPurgeAll);        // also aborts a read still pending
    if (native->readPending.exchange(false) && native->readOverlapped.hEvent != nullptr) {
        // The read must be over before its buffer and event go (wine's purge leaves it pending).
        CancelIoEx(port, &native->readOverlapped);
        WaitForSingleObject(native->readOverlapped.hEvent, kReadConstant);
    }
    CloseHandle(port);
    CloseIfSet(native->writeOverlapped.hEvent);
    CloseIfSet(native->readOverlapped.hEvent);
}

// A pending read is waited on for at most 50 ms at a time, and the stop flag tested each time.
void SerialPort::WakeReader() {}

int SerialPort::FillAhead(int* waited) {
    lastReadFailed = 0;
    if (waited != nullptr)
        *waited = 0;
    HANDLE port = native != nullptr ? native->port.load() : nullptr;
    if (port == nullptr) {
        lastReadFailed = 1;
        return 0;
    }
    SerialPortNative& state = *native;
    if (state.aheadOpen != state.opens.load()) {  // the port was opened again: nothing old counts
        state.aheadOpen = state.opens.load();
        state.aheadStart = state.aheadEnd = 0;
        state.pendingMarks = 0;
    }
    if (state.aheadStart < state.aheadEnd)
        return 1;
    DWORD deadline = readTimeout != 0 ? GetTickCount() + static_cast<DWORD>(readTimeout) : 0;
    auto pastDeadline = [&] { return readTimeout != 0 && static_cast<LONG>(GetTickCount() - deadline) > 0; };
    OVERLAPPED* overlapped = &state.readOverlapped;
    // The bytes of a completed read, with the error bits reported up to now.
    auto took = [&](DWORD got) {
        state.aheadStart = 0;
        state.aheadEnd = static_cast<int>(got);
        if (got == 0)
            return false;
        ClearErrors(port, &state.pendingMarks);
        state.firstMarks = state.pendingMarks;
        state.pendingMarks = 0;
        CountMarks(state.firstMarks);
        return true;
    };
    for (;;) {
        DWORD got = 0;
        if (!state.readPending.load()) {
            // All that is queued, or else one byte: such a read completes as soon as it can (wine
            // holds a longer read until it is full or the 1000 ms constant has run out).
            DWORD queued = ClearErrors(port, &state.pendingMarks);
            if (queued == 0 && waited != nullptr)
                *waited = 1;
            DWORD want = std::min<DWORD>(std::max<DWORD>(queued, 1), sizeof state.ahead);
            if (ReadFile(port, state.ahead, want, &got, overlapped)) {
                if (took(got))
                    return 1;
                continue;  // no bytes: the 1000 ms constant ran out; read again
            }
            DWORD error = GetLastError();
            if (IsQuietReadEnd(error))
                continue;
            if (error != ERROR_IO_PENDING) {
                ClearErrors(port, &state.pendingMarks);
                lastReadFailed = 1;
                return 0;
            }
            state.readPending = true;
        } else if (waited != nullptr) {
            *waited = 1;  // a read left pending by an earlier call: the line was quiet
        }
        // A read is pending (perhaps still from an earlier call): wait for it, 50 ms at a time.
        for (;;) {
            if (stopRequested.load() != 0)
                return 0;  // the read stays pending; Close aborts it
            if (pastDeadline()) {
                ClearErrors(port, &state.pendingMarks);
                return 0;
            }
            if (GetOverlappedResult(port, overlapped, &got, FALSE)) {
                state.readPending = false;
                if (took(got))
                    return 1;
                break;
            }
            DWORD error = GetLastError();
            if (error == ERROR_IO_INCOMPLETE) {
                WaitForSingleObject(overlapped->hEvent, kPollMilliseconds);
                continue;
            }
            state.readPending = false;
            if (IsQuietReadEnd(error))
                break;
            ClearErrors(port, &state.pendingMarks);
            lastReadFailed = 1;
            return 0;
        }
    }
}

int SerialPort::ReadBytes(void* buffer, int count) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int done = 0;
    while (done < count) {
        if (FillAhead(nullptr) == 0)
            return 0;
        SerialPortNative& state = *native;
        int take = std::min(count - done, state.aheadEnd - state.aheadStart);
        std::memcpy(out + done, state.ahead + state.aheadStart, static_cast<size_t>(take));
        state.aheadStart += take;
        done += take;
    }
    return 1;
}

int SerialPort::MarksEachByte() {
    return 0;
}

int SerialPort::ReadMarked(ReceivedByte* out, int capacity, int* waited) {
    if (capacity <= 0 || FillAhead(waited) == 0)
        return 0;
    SerialPortNative& state = *native;
    int done = 0;
    while (done < capacity && state.aheadStart < state.aheadEnd) {
        int index = state.aheadStart++;
        out[done++] =
            ReceivedByte{state.ahead[index], static_cast<uint8_t>(index == 0 ? state.firstMarks : 0)};
    }
    return done;
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
    uint8_t ignored = 0;
    ClearErrors(port, &ignored);
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
