#include "support/webhook_receiver.h"

#include <cstdlib>
#include <sstream>

#include "support/temp_dir.h"
#include "support/wait.h"

namespace testing_support {

namespace {

// Under wine a request may wait for WinHTTP's first start.
constexpr int kReceivedBoundMilliseconds = 30000;

}  // namespace

std::string ReceiverField(const std::string& json, const std::string& key) {
    std::string marker = "\"" + key + "\": ";
    size_t at = json.find(marker);
    if (at == std::string::npos)
        return "";
    at += marker.size();
    if (at >= json.size())
        return "";
    if (json[at] != '"') {
        size_t end = json.find_first_of(",}", at);
        return json.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    std::string value;
    for (size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] == '\\' && i + 1 < json.size())
            ++i;
        value += json[i];
    }
    return value;
}

WebhookReceiver::WebhookReceiver(const std::string& folder, bool windowsPaths) {
    std::string state = ReadFileBytes(folder + "/state.json");
    httpPort = std::atoi(ReceiverField(state, "http_port").c_str());
    httpsPort = std::atoi(ReceiverField(state, "https_port").c_str());
    closedPort = std::atoi(ReceiverField(state, "closed_port").c_str());
    secret = ReceiverField(state, "secret");
    caFile = ReceiverField(state, windowsPaths ? "ca_windows" : "ca");
    logFile = ReceiverField(state, windowsPaths ? "log_windows" : "log");
}

std::vector<std::string> WebhookReceiver::Received(const std::string& path, size_t count) const {
    std::vector<std::string> lines;
    WaitUntil(
        [&] {
            lines.clear();
            std::istringstream log(ReadFileBytes(logFile));
            for (std::string line; std::getline(log, line);) {
                if (ReceiverField(line, "path") == path)
                    lines.push_back(line);
            }
            return lines.size() >= count;
        },
        kReceivedBoundMilliseconds);
    return lines;
}

}  // namespace testing_support
