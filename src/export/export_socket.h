// What the syslog export needs from the platform beyond the socket layer (tcp/socket_seam.h):
// a connection with a time limit, UDP, and the names a syslog message carries. One backend per
// platform (export_socket_posix.cpp, export_socket_win32.cpp). Sockets need SocketStartup.
#pragma once

#include <string>

#include "tcp/socket_seam.h"

namespace zamri {

// A blocking socket connected to host:port (a name or a dotted IPv4 address): TCP, given at
// most timeoutMilliseconds to connect, or UDP (datagram). Sends give up after
// sendTimeoutMilliseconds, so a collector that stops reading cannot hold the sender for ever.
// kInvalidSocket on failure, with the reason in error.
SocketHandle ExportConnect(const char* host, int port, bool datagram, int timeoutMilliseconds,
                           int sendTimeoutMilliseconds, std::string* error);

// 1 when a connected TCP socket's peer has closed or reset the connection (anything it sent
// is read and thrown away), 0 while it is open. Does not wait.
int ExportPeerClosed(SocketHandle socket);

// The reason of the last failed socket call on this thread, as text.
std::string ExportErrorText();

// This machine's name, and the process id, as syslog messages carry them.
std::string ExportHostName();
int ExportProcessId();

}  // namespace zamri
