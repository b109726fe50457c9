// Ports for the servers a test starts, picked before the server binds them.
#pragma once

namespace testing_support {

enum class PortUse { kStream, kDatagram, kBoth };

// A port free on every address (for TCP, UDP or both), below the ranges the systems pick
// outgoing ports from (Linux from 32768, Windows from 49152), where the other tests' many
// connections (the fault soak's, for one) cannot hold it in the meantime. Each call gives
// another one; 0 when none was found.
int FreePort(PortUse use = PortUse::kStream);

}  // namespace testing_support
