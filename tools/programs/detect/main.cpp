// zamri-detect: finds what to set for a channel, listening on its port (never writing to it) or
// reading a recorded dump, and prints the findings with a ready settings block.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codepage/code_page.h"
#include "config/channel_config.h"
#include "console.h"
#include "detect/findings_writer.h"
#include "detect/port_listen.h"
#include "detect/tap_detection.h"

namespace {

const char kUsage[] =
    "usage: zamri-detect [options] PORT|FILE\n"
    "Finds the settings of a channel: on a serial port (COM3, /dev/ttyUSB0) it listens while the\n"
    "till prints, trying the line settings the port dialog offers, and never writes to the port;\n"
    "a FILE (a binary dump of a printer stream) is read as it is. It prints the line settings (a\n"
    "port only), the printer language, the code page and how receipts end, with a [Channel] and a\n"
    "[Channel N] block ready for the settings file.\n"
    "  -s, --seconds N   listen up to N seconds (1 to 3600, default 30); print test receipts meanwhile\n"
    "  -c, --channel N   the channel number of the block (1 to 32, default 1)\n"
    "  -j, --json        print one JSON object instead (\"line\" is null for a file)\n"
    "  -r, --recorder-page N  the recorder's code page, for the footer text (default 1252)\n"
    "  -q, --quiet       no progress on standard error\n"
    "Confidence is how clearly the bytes decide each finding (the overall one is the least of\n"
    "them); a language or code page under 90% is \"not sure\": print more receipts, listen longer.\n"
    "Exit status: 0 the line settings (on a port), the language and the code page found, 1 not\n"
    "sure (what was seen is printed), 2 usage error or the port or file cannot be read.\n";

constexpr int kDefaultSeconds = kDefaultListenSeconds;
constexpr int kMaxSeconds = 3600;

struct Options {
    std::string source;
    int seconds = kDefaultSeconds;
    int channel = 1;
    bool json = false;
    bool quiet = false;
    int recorderPage = 1252;
};

bool ParseNumber(const char* value, int least, int most, int* out) {
    char* end = nullptr;
    long n = std::strtol(value, &end, 10);
    if (*value == 0 || *end != 0 || n < least || n > most)
        return false;
    *out = static_cast<int>(n);
    return true;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "zamri-detect: %s\n(zamri-detect --help shows the options)\n", problem.c_str());
    return 2;
}

// 0 parsed, 2 a usage error (reported), -1 help printed.
int ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc)
                return false;
            *out = argv[++i];
            return true;
        };
        const char* text = nullptr;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "-j" || arg == "--json") {
            options->json = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options->quiet = true;
        } else if (arg == "-s" || arg == "--seconds") {
            if (!value(&text) || !ParseNumber(text, 1, kMaxSeconds, &options->seconds))
                return Usage("--seconds takes a number of seconds from 1 to 3600");
        } else if (arg == "-c" || arg == "--channel") {
            if (!value(&text) || !ParseNumber(text, 1, kChannelCount, &options->channel))
                return Usage("--channel takes a channel number from 1 to 32");
        } else if (arg == "-r" || arg == "--recorder-page") {
            if (!value(&text) || !ParseNumber(text, 1, 65535, &options->recorderPage) ||
                !IsWindowsCodePage(options->recorderPage))
                return Usage(
                    "--recorder-page takes a code page the recorder can show (1252, 1251, 1255, ...)");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (!options->source.empty()) {
            return Usage("one PORT or FILE only");
        } else {
            options->source = arg;
        }
    }
    if (options->source.empty())
        return Usage("name a PORT or a FILE");
    return 0;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void ShowProgress(const ListenProgress& progress) {
    char settings[40];
    FormatLineSettings(progress.settings, settings, sizeof settings);
    std::fprintf(stderr, "zamri-detect: %d of %d s, %s %s, %zu bytes read\n", progress.elapsedSeconds,
                 progress.totalSeconds, progress.lineFound ? "reading the printer stream at" : "listening at",
                 settings, progress.bytesRead);
}

bool Found(const DetectFindings& findings) {
    if (findings.hasLine && findings.line.verdict != kLineFound)
        return false;
    return findings.stream.sure;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareOutput();
    Options options;
    int parsed = ParseOptions(argc, argv, &options);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;

    DetectFindings findings;
    std::string portName;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(options.source, ignored)) {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(options.source, &bytes)) {
            std::fprintf(stderr, "zamri-detect: cannot read %s\n", options.source.c_str());
            return 2;
        }
        findings = DetectStream(bytes.data(), bytes.size(), options.recorderPage);
    } else {
        portName = options.source;
        std::string problem;
        auto progress = [&](const ListenProgress& p) {
            if (!options.quiet)
                ShowProgress(p);
        };
        if (ListenOnPort(portName, options.seconds, options.recorderPage, progress, &findings, &problem) ==
            0) {
            std::fprintf(stderr, "zamri-detect: %s\n", problem.c_str());
            return 2;
        }
    }

    if (options.json) {
        std::printf("%s\n", FindingsJson(findings, options.recorderPage).c_str());
    } else {
        std::printf("%s\n%s", FindingsText(findings, options.recorderPage).c_str(),
                    ChannelBlock(findings, options.channel, portName).c_str());
    }
    std::fflush(stdout);
    return Found(findings) ? 0 : 1;
}
