#include "support/server_event_log.h"

#include "tcp/server_events.h"

namespace testing_support {

int ServerEventLog::Callback(void* owner, int code, intptr_t arg, char* text) {
    ServerEventLog* log = static_cast<ServerEventLog*>(owner);
    std::unique_lock<std::mutex> guard(log->lock);
    if (code == EVT_CLIENT_CONNECTED)
        ++log->connected;
    if (code == EVT_CLIENT_CLOSED)
        ++log->closed;
    if (code == EVT_LINE_RECEIVED) {
        log->gateChanged.wait(guard, [log] { return !log->gateClosed; });
        log->lines.emplace_back(static_cast<int>(arg), text != nullptr ? text : "<null>");
    }
    return 0;
}

std::vector<std::pair<int, std::string>> ServerEventLog::Lines() {
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

size_t ServerEventLog::LineCount() {
    std::lock_guard<std::mutex> guard(lock);
    return lines.size();
}

int ServerEventLog::Connected() {
    std::lock_guard<std::mutex> guard(lock);
    return connected;
}

int ServerEventLog::Closed() {
    std::lock_guard<std::mutex> guard(lock);
    return closed;
}

void ServerEventLog::CloseGate() {
    std::lock_guard<std::mutex> guard(lock);
    gateClosed = true;
}

void ServerEventLog::OpenGate() {
    {
        std::lock_guard<std::mutex> guard(lock);
        gateClosed = false;
    }
    gateChanged.notify_all();
}

}  // namespace testing_support
