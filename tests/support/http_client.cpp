#include "support/http_client.h"
#include "net/send_all.h"

#include <chrono>
#include <cstdlib>

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads until the server closes or the time runs out.
std::string ReadAll(zamri::SocketHandle socket, int milliseconds) {
    std::string out;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    char chunk[8192];
    while (zamri::SocketWaitReadable(socket, Remaining(deadline)) == 1) {
        int n = zamri::SocketReceive(socket, chunk, sizeof chunk);
        if (n <= 0)
            break;
        out.append(chunk, static_cast<size_t>(n));
    }
    return out;
}

zamri::SocketHandle Connect(int port, const std::string& from) {
    return from.empty() ? zamri::SocketConnect("127.0.0.1", port)
                        : zamri::SocketConnectFrom(from.c_str(), "127.0.0.1", port);
}

int StatusOf(const std::string& head) {
    // "HTTP/1.1 200 OK"
    if (head.compare(0, 5, "HTTP/") != 0 || head.size() < 12)
        return 0;
    return std::atoi(head.c_str() + 9);
}

}  // namespace

std::string HttpReply::Header(const std::string& name) const {
    std::string lowered = headers;
    for (char& c : lowered)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::string key = "\r\n" + name + ":";
    for (char& c : key)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t at = lowered.find(key);
    if (at == std::string::npos)
        return "";
    size_t start = headers.find_first_not_of(' ', at + key.size());
    size_t end = headers.find("\r\n", start);
    return headers.substr(start, end - start);
}

std::string RawExchange(int port, const std::string& bytes, int milliseconds, const std::string& from) {
    zamri::SocketHandle socket = Connect(port, from);
    if (socket == zamri::kInvalidSocket)
        return "";
    std::string out;
    if (zamri::SocketSendAll(socket, bytes))
        out = ReadAll(socket, milliseconds);
    zamri::SocketClose(socket);
    return out;
}

HttpReply HttpGet(int port, const std::string& target, const std::string& extraHeaders,
                  const std::string& method, const std::string& from) {
    HttpReply reply;
    zamri::SocketHandle socket = Connect(port, from);
    if (socket == zamri::kInvalidSocket)
        return reply;
    std::string raw;
    if (zamri::SocketSendAll(socket, method + " " + target +
                                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                                         extraHeaders + "\r\n")) {
        // Until the server closes, or the body announced by Content-Length is in.
        Clock::time_point deadline = Clock::now() + std::chrono::seconds(15);
        char chunk[8192];
        while (zamri::SocketWaitReadable(socket, Remaining(deadline)) == 1) {
            int n = zamri::SocketReceive(socket, chunk, sizeof chunk);
            if (n <= 0)
                break;
            raw.append(chunk, static_cast<size_t>(n));
            size_t end = raw.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            reply.headers = raw.substr(0, end + 2);
            std::string length = reply.Header("Content-Length");
            if (!length.empty() && raw.size() - end - 4 >= std::stoul(length))
                break;
        }
    }
    zamri::SocketClose(socket);
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos)
        return reply;
    reply.status = StatusOf(raw);
    reply.headers = raw.substr(0, end + 2);
    reply.body = raw.substr(end + 4);
    return reply;
}

LiveClient::~LiveClient() {
    Close();
}

int LiveClient::Open(int port, const std::string& target, const std::string& extraHeaders, bool readHead,
                     const std::string& from) {
    socket_ = Connect(port, from);
    if (socket_ == zamri::kInvalidSocket)
        return 0;
    if (!zamri::SocketSendAll(socket_, "GET " + target +
                                           " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n" +
                                           extraHeaders + "\r\n"))
        return 0;
    if (!readHead)
        return 1;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(Remaining(deadline)))
            return 0;
    }
    status_ = StatusOf(buffer_);
    buffer_.erase(0, end + 4);
    return status_ == 200 ? 1 : 0;
}

int LiveClient::Fill(int milliseconds) {
    if (ended_ || socket_ == zamri::kInvalidSocket)
        return 0;
    if (zamri::SocketWaitReadable(socket_, milliseconds) != 1)
        return 0;
    char chunk[16384];
    int n = zamri::SocketReceive(socket_, chunk, sizeof chunk);
    if (n <= 0) {
        ended_ = true;
        return 0;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return 1;
}

int LiveClient::Next(StreamEvent& event, int milliseconds) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        size_t end;
        while ((end = buffer_.find("\n\n")) != std::string::npos) {
            std::string block = buffer_.substr(0, end + 1);
            buffer_.erase(0, end + 2);
            event = StreamEvent();
            size_t start = 0;
            while (start < block.size()) {
                size_t stop = block.find('\n', start);
                std::string line = block.substr(start, stop - start);
                start = stop + 1;
                if (line.compare(0, 7, "event: ") == 0)
                    event.event = line.substr(7);
                else if (line.compare(0, 4, "id: ") == 0)
                    event.id = line.substr(4);
                else if (line.compare(0, 6, "data: ") == 0)
                    event.data += line.substr(6);
            }
            if (!event.event.empty())
                return 1;  // comments and the retry line carry no event
        }
        if (!Fill(Remaining(deadline)))
            return 0;
    }
}

int LiveClient::WaitClosed(int milliseconds) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!ended_) {
        if (Remaining(deadline) == 0)
            return 0;
        buffer_.clear();
        Fill(Remaining(deadline));
    }
    return 1;
}

void LiveClient::Close() {
    if (socket_ != zamri::kInvalidSocket)
        zamri::SocketClose(socket_);
    socket_ = zamri::kInvalidSocket;
}

long long JsonNumber(const std::string& json, const std::string& name) {
    std::string key = "\"" + name + "\":";
    size_t at = json.find(key);
    if (at == std::string::npos)
        return -1;
    return std::atoll(json.c_str() + at + key.size());
}

std::string JsonText(const std::string& json, const std::string& name) {
    std::string key = "\"" + name + "\":\"";
    size_t at = json.find(key);
    if (at == std::string::npos)
        return "";
    std::string out;
    for (size_t i = at + key.size(); i < json.size() && json[i] != '"'; ++i) {
        if (json[i] == '\\' && i + 1 < json.size()) {
            ++i;
            if (json[i] == 'u' && i + 4 < json.size()) {
                out += static_cast<char>(std::strtol(json.substr(i + 1, 4).c_str(), nullptr, 16));
                i += 4;
                continue;
            }
        }
        out += json[i];
    }
    return out;
}

}  // namespace testing_support
