// Sending a whole buffer over a connected socket, for the tools and tests that talk to the
// program's servers as a peer would.
#pragma once

#include <string>

#include "net/socket_seam.h"

namespace zamri {

// Sends every byte, in pieces of at most 64 KB; a full send buffer of a non-blocking socket is
// waited out a millisecond at a time. true once all are sent, false when the connection fails.
bool SocketSendAll(SocketHandle socket, const std::string& bytes);

}  // namespace zamri
