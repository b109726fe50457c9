#include "alert/http_post.h"

namespace zamri {

const char* HttpFailureName(HttpFailure failure) {
    switch (failure) {
        case HttpFailure::kNone:
            return "sent";
        case HttpFailure::kHostNotFound:
            return "host not found";
        case HttpFailure::kRefused:
            return "connection refused";
        case HttpFailure::kTimedOut:
            return "time-out";
        case HttpFailure::kTls:
            return "TLS failure";
        case HttpFailure::kConnection:
            return "connection failure";
        case HttpFailure::kHttpStatus:
            return "HTTP status";
        case HttpFailure::kCancelled:
            return "cancelled";
        case HttpFailure::kSetup:
            return "set-up failure";
    }
    return "failure";
}

}  // namespace zamri
