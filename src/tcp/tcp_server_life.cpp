// Creating, restarting, stopping and deleting the TCP server that TCP mode owns.
// The server itself (network thread, queue and worker) is not part of this build yet:
// TCP mode runs without a listening port until it is.
#include "config/channel_table.h"

void ChannelTable::CreateTcpServer() {}

void ChannelTable::DestroyTcpServer() {}

void ChannelTable::RestartTcpServer() {}

void ChannelTable::StopTcpServer() {}
