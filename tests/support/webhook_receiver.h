// The webhook receiver that CTest starts on loopback before the tests that post to it
// (tests/alert/webhook_receiver.py, the "alert_receiver" fixture): what its state file says
// (ports, secret, certificate, log) and the requests it has logged, one JSON object a line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testing_support {

class WebhookReceiver {
  public:
    // folder: where the receiver keeps its state; windowsPaths: the certificate and the log as
    // the Windows build opens them (through wine's Z: drive).
    explicit WebhookReceiver(const std::string& folder, bool windowsPaths = false);

    // false when no receiver runs (the test executable was started outside CTest).
    bool Running() const { return httpPort != 0; }
    // The log lines of the requests to path, waiting until there are at least count of them (or
    // a generous bound has passed).
    std::vector<std::string> Received(const std::string& path, size_t count = 1) const;

    int httpPort = 0, httpsPort = 0, closedPort = 0;
    std::string secret, caFile, logFile;
};

// The value of key in a flat JSON text as the receiver writes it ("key": value): a number,
// true/false, or a string with its \\ and \" resolved; empty when the key is missing.
std::string ReceiverField(const std::string& json, const std::string& key);

}  // namespace testing_support
