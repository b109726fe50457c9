// One serial port opened for reading a tapped printer line, with the line settings of a
// channel. Two backends implement it: serial_port_win32.cpp (overlapped Win32 communications)
// and serial_port_posix.cpp (termios). Everything else here is shared.
//
// Contract of a backend:
// - Open: opens portName exclusively with the configured settings, discards whatever was
//   queued before, raises DTR; 1, or 0 with nothing left open. A baud rate of 0 refuses.
// - Close: drops DTR, discards the queues, closes; of two concurrent closers exactly one tears
//   down (1), the other returns 0.
// - ReadBytes: exactly count bytes (1), or 0 on a port error, a stop request (seen within
//   50 ms) or the readTimeout (when not 0). An idle line costs no busy polling.
// - ReadMarked: the bytes that have come (at least one, at most capacity) with the driver's
//   error marks (serial/received_byte.h), waiting as ReadBytes does for the first; 0 as
//   ReadBytes. Linux marks each bad byte (termios PARMRK with INPCK; framing and parity errors
//   look alike there, so such a byte carries both marks); Windows reports ClearCommError's bits
//   for what was read since the last report, on the first byte of the read that follows.
//   ReadBytes delivers the same bytes without the marks: a marked byte's data byte, a break as
//   a NUL.
// - RequestStop may come from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/received_byte.h"

constexpr int kPortNameSize = 64;

// The device that a port name opens. Windows: "COM1" to "COM9" under their own names, every
// other name behind the device prefix (\\.\COM10). Linux: a name that begins with "/" as it
// stands, "COMn" as /dev/ttyS(n-1), any other name under /dev. Returns 1, or 0 when the name
// names no device or out is too small.
int SerialDevicePath(const char* name, char* out, int size);

struct SerialPortNative;  // the backend's handles

// The error marks a port's reads came with, counted since the port object was made. A break
// counts as a framing error; a Linux mark counts as both framing and parity.
struct SerialErrorCounts {
    uint64_t framing = 0;
    uint64_t parity = 0;
    uint64_t overrun = 0;
};

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Copies the settings (the name cut to 63 characters); always 1.
    int Configure(const char* name, int baud, int parityCode, int bits, int stopCode, int flow, int timeout);
    int Open();
    int Close();
    int IsOpen() const { return open.load(); }
    int ReadBytes(void* buffer, int count);
    // waited (when given): 1 when the read had to wait for its first byte (the line was quiet
    // before it), 0 when bytes were there already.
    int ReadMarked(ReceivedByte* out, int capacity, int* waited = nullptr);
    // 1 where the driver marks each bad byte (Linux), 0 where its marks cover a whole read
    // (Windows).
    static int MarksEachByte();
    int WriteBytes(const void* buffer, int count);
    // Sets the stop flag (never cleared) and wakes a pending read.
    void RequestStop();
    int StopRequested() const { return stopRequested.load(); }
    // Whether the last ReadBytes that returned 0 did so because the port failed (rather than a
    // stop or a time-out).
    int LastReadFailed() const { return lastReadFailed; }
    // Any thread (the status page, health).
    SerialErrorCounts ErrorCounts() const;

    // The binary dump (called from the user-interface thread while the capture thread reads).
    // OpenDump: 0 when portName is not this port's name (exact comparison); otherwise creates or
    // empties fileName and returns 1, even when the file cannot be opened (nothing is written
    // then). CloseDump: closes the file if one is open; always 1.
    int OpenDump(const char* portName, const char* fileName);
    int CloseDump();

    char portName[kPortNameSize] = {};
    int baudRate = 9600;
    int parity = 1;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopBits = 1;     // 0 one, 1 one and a half, 2 two
    int flowControl = 0;  // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
    int readTimeout = 0;  // ms for one ReadBytes, 0 = no limit

  protected:
    // Writes one raw byte to the dump file when one is open. A CloseDump waits for at most the
    // write in progress, and no byte is written after the close.
    void DumpByte(unsigned char byte);
    // Adds the marks of one received byte or one driver report to the counts.
    void CountMarks(uint8_t marks);
    // Sleeps up to milliseconds, returning early when a stop is requested.
    void PauseUnlessStopped(int milliseconds);

  private:
    // Backend halves.
    static SerialPortNative* CreateNative();
    static void DestroyNative(SerialPortNative* handles);
    // Waits until read-ahead bytes are there (1) or the read ends without any (0, as ReadBytes);
    // *waited says whether it had to wait.
    int FillAhead(int* waited);
    int OpenNative();    // called with lock held
    void CloseNative();  // called with lock held, port open
    void WakeReader();
    static int OpenDumpFile(const char* fileName);
    static void WriteDumpFile(int descriptor, unsigned char byte);
    static void CloseDumpFile(int descriptor);

    SerialPortNative* native;
    std::mutex lock;  // serialises Open and Close
    std::atomic<int> open{0};
    std::atomic<int> stopRequested{0};
    int lastReadFailed = 0;  // capture thread only
    std::mutex dumpLock;     // held around each dump write and around open and close of the file
    std::atomic<int> dumpFile{-1};
    std::atomic<uint64_t> framingErrors{0};
    std::atomic<uint64_t> parityErrors{0};
    std::atomic<uint64_t> overruns{0};
};
