#include "net/send_all.h"

#include <algorithm>

#include "platform/os.h"

namespace zamri {

bool SocketSendAll(SocketHandle socket, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = SocketSend(socket, bytes.data() + sent,
                           static_cast<int>(std::min<size_t>(bytes.size() - sent, 65536)));
        if (n < 0 && SocketWouldBlock()) {
            SleepMilliseconds(1);
            continue;
        }
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace zamri
