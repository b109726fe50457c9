// The ports that the Binary Dump dialog offers.
#pragma once

#include "config/channel_config.h"

namespace zamri {

// Only the first 16 records have a place on the connection page, so only they are offered.
constexpr int kDumpPortRecords = 16;

struct DumpPortList {
    int count = 0;
    char names[kDumpPortRecords][kChannelTextSize] = {};
};

// The port name of every enabled record among the first 16, in record order. List positions
// are therefore not channel indexes. Returns the count.
int ListDumpPorts(const ChannelConfig* records, DumpPortList& out);

}  // namespace zamri
