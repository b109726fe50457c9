// The sending side of the TCP protocol: connect, run the opening exchange, send type-100
// frames. Used by zamri-send, by the tests and by the benchmarks as the real client.
#pragma once

#include <cstdint>

#include "net/socket_seam.h"

class SendClient {
  public:
    SendClient();
    ~SendClient();
    SendClient(const SendClient&) = delete;
    SendClient& operator=(const SendClient&) = delete;

    // 1 when connected, 0 when the host cannot be reached.
    int Connect(const char* host, int port);
    // Reads the challenge, answers it (with reply when given, else the right answer) and reads
    // the verdict. Returns the verdict (1 accepted, 0 refused), or -1 when the server closed
    // the connection or did not answer within timeoutMilliseconds.
    int OpeningExchange(int timeoutMilliseconds = 5000, const int32_t* reply = nullptr);
    // Sends one type-100 frame; 1, or 0 when the text is too long or the send failed.
    int SendTextLine(int32_t camera, const char* text, int length);
    // Sends raw bytes; 1 or 0.
    int SendBytes(const void* data, int n);
    // Reads exactly n bytes within the time; n, or -1 (time-out, end of stream or failure).
    int ReceiveBytes(void* data, int n, int timeoutMilliseconds);
    // 1 when the server ends the connection (end of stream or reset) within the time.
    int WaitForClose(int timeoutMilliseconds);
    // Orderly close, or a reset when abort is set.
    void Close(bool abort = false);
    // Lets the server see the end of the stream while the socket stays open.
    void ShutdownSend();

    bool IsConnected() const { return socket != zamri::kInvalidSocket; }

  private:
    zamri::SocketHandle socket = zamri::kInvalidSocket;
    int socketsStarted = 0;
};
