#include "config/channel_table.h"

// Capture start and stop for the whole program: the serial capture threads or the TCP server,
// by the mode fixed at start-up.
int ChannelTable::StartCapture() {
    return mode == 1 ? StartTcpCapture() : StartSerialCapture();
}

int ChannelTable::StopCapture() {
    return mode == 1 ? StopTcpCapture() : StopSerialCapture();
}
