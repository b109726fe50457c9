// Events that the TCP server reports to its owner.
#pragma once

#include <cstdint>

// A plain function (owner, code, arg, text). owner is the pointer given to the server's Init;
// arg's meaning depends on the code; text may be null. The server ignores the result.
using ServerEventFn = int (*)(void* owner, int code, intptr_t arg, char* text);

// arg: the peer's IPv4 address as dotted decimal text (a const char*); text: null.
constexpr int EVT_CLIENT_CONNECTED = 500;
constexpr int EVT_CLIENT_CLOSED = 501;
// arg: the camera number as received (valid: 1 to 32); text: the line, writable by the receiver.
constexpr int EVT_LINE_RECEIVED = 502;
