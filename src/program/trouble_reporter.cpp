#include "program/trouble_reporter.h"

#include "platform/os.h"

namespace zamri {

TroubleReporter::TroubleReporter() : queue(kQueueMessages, WhenFull::kDropAndCount) {
    // The worker touches nothing but its message, so it may outlive the reporter.
    queue.Start(
        [](std::string& message) { ShowMessage(message.c_str(), "zamri", kMsgOk | kMsgIconWarning); });
}

TroubleReporter::~TroubleReporter() {
    queue.Stop(-1, 1000);
}

void TroubleReporter::Report(const std::string& message) {
    queue.Push(message);
}

}  // namespace zamri
