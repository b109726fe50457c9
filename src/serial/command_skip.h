// The one engine that consumes a printer command by its table (command_tables.h). The line loop
// hands an introducer to SkipCommand with the right table; nothing else in the decoder knows any
// command's length.
#pragma once

#include "serial/byte_source.h"
#include "serial/command_tables.h"

// The command bytes of a command with an effect, as far as they are kept.
constexpr int kEffectBytes = 40;
struct CommandEffect {
    CommandAction action = CommandAction::kNone;
    int count = 0;  // bytes kept (every byte after the command byte, up to kEffectBytes)
    uint8_t bytes[kEffectBytes];
};

// Consumes one command whose introducer has just been read: the command byte and whatever its
// rule prescribes. Returns 0 when it is consumed, -1 when the source reported a stop, and
// kSourceInterrupted when the stream broke off inside it. When effect is given and the command
// has one, effect receives it (its action stays kNone otherwise).
int SkipCommand(const CommandTable& table, ByteSource& source, CommandEffect* effect = nullptr);
// The same for a command byte already read (Star raster mode's bare commands).
int SkipCommandAfter(const CommandTable& table, int command, ByteSource& source);
