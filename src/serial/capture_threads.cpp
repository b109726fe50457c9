// Serial capture threads: one per enabled channel, from port to overlay.
// The port driver and decoder are not part of this build yet, so no channel can start.
#include "config/channel_table.h"

int ChannelTable::StartSerialCapture() {
    for (int i = 0; i < kChannelCount; ++i) {
        if (channels[i].enabled != 0 && channels[i].thread.load() == nullptr)
            StartChannel(i);
    }
    return 1;
}

int ChannelTable::StopSerialCapture() {
    return 1;
}

int ChannelTable::StartChannel(int index) {
    return 0;
}

int ChannelTable::StopChannel(int index) {
    return 0;
}

int ChannelTable::FindChannelByThread(int32_t id) {
    for (int i = 0; i < kChannelCount; ++i) {
        if (channels[i].threadId.load() == id)
            return i;
    }
    return -1;
}

void ChannelTable::RunChannelCapture(int index) {}

int ChannelTable::StartDump(const char* portName, const char* fileName) {
    return -1;
}

int ChannelTable::StopDump(int index) {
    return 0;
}
