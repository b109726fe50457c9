#include "app/dump_ports.h"

#include <cstring>

namespace zamri {

int ListDumpPorts(const ChannelConfig* records, DumpPortList& out) {
    out.count = 0;
    for (int i = 0; i < kDumpPortRecords; ++i) {
        if (records[i].enabled == 0)
            continue;
        std::memcpy(out.names[out.count], records[i].portName, kChannelTextSize);
        out.names[out.count][kChannelTextSize - 1] = 0;
        ++out.count;
    }
    return out.count;
}

}  // namespace zamri
