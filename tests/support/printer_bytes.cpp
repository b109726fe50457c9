#include "support/printer_bytes.h"

#include <cstdlib>
#include <ostream>
#include <sstream>

#include "platform/overlay_record.h"
#include "serial/line_decoder.h"

namespace testing_support {

namespace {

struct Name {
    const char* name;
    int value;
};

const Name kNames[] = {{"NUL", 0x00}, {"EOT", 0x04}, {"ENQ", 0x05}, {"HT", 0x09},  {"LF", 0x0A},
                       {"FF", 0x0C},  {"CR", 0x0D},  {"DLE", 0x10}, {"DC4", 0x14}, {"CAN", 0x18},
                       {"ESC", 0x1B}, {"FS", 0x1C},  {"GS", 0x1D},  {"SP", 0x20}};

int TokenValue(const std::string& token) {
    for (const Name& name : kNames) {
        if (token == name.name)
            return name.value;
    }
    if (token.size() == 1)
        return static_cast<unsigned char>(token[0]);
    if (token.size() == 2) {
        char* end = nullptr;
        long value = std::strtol(token.c_str(), &end, 16);
        if (*end == 0)
            return static_cast<int>(value);
    }
    return -1;
}

}  // namespace

std::string PrinterBytes(const std::string& notation, std::string* error) {
    std::string bytes;
    for (size_t i = 0; i < notation.size(); ++i) {
        char c = notation[i];
        if (c == '\n' || c == '\r')
            continue;
        if (c != '<') {
            bytes += c;
            continue;
        }
        size_t close = notation.find('>', i);
        if (close == std::string::npos) {
            if (error != nullptr)
                *error = "unclosed group";
            return bytes;
        }
        std::istringstream tokens(notation.substr(i + 1, close - i - 1));
        std::string token;
        while (tokens >> token) {
            size_t star = token.find('*');
            long repeat = 1;
            if (star != std::string::npos) {
                repeat = std::strtol(token.c_str() + star + 1, nullptr, 10);
                token.resize(star);
            }
            int value = TokenValue(token);
            if (value < 0 || repeat < 0) {
                if (error != nullptr)
                    *error = "bad token " + token;
                continue;
            }
            bytes.append(static_cast<size_t>(repeat), static_cast<char>(value));
        }
        i = close;
    }
    return bytes;
}

std::ostream& operator<<(std::ostream& out, const DecodedLine& line) {
    std::string escaped;
    zamri::AppendEscapedText(escaped, line.text.c_str());
    return out << "{" << line.flags << ", \"" << escaped << "\"}";
}

std::vector<DecodedLine> DecodeAll(const std::string& bytes, int emulation, int patternFlags,
                                   const char* footer, int hebrew, int codePage, int recorderPage) {
    LineDecoder decoder;
    decoder.SetEmulation(emulation);
    decoder.SetCodePages(codePage, recorderPage);
    decoder.SetPattern(patternFlags, footer);
    MemoryByteSource memory(bytes.data(), bytes.size(), hebrew);
    ByteSource source = memory.Source();
    std::vector<DecodedLine> lines;
    const char* text;
    int flags;
    for (int length; (length = decoder.ReadLine(source, &text, &flags)) >= 0;) {
        // The delivered text is what a reader of the C string sees: up to its first NUL.
        lines.push_back(DecodedLine{std::string(text), flags});
    }
    return lines;
}

int ScriptedSource::Next(void* context) {
    ScriptedSource* self = static_cast<ScriptedSource*>(context);
    if (self->position >= self->script.size())
        return kSourceStopped;
    return self->script[self->position++];
}

}  // namespace testing_support
