// zamri-send: sends lines to a running zamri in TCP mode, as till software would. Installers use
// it to test a setup; the tests and benchmarks use it as the real client.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "binary_input.h"
#include "send_client.h"

namespace {

const char kUsage[] =
    "usage: zamri-send [options] [FILE]\n"
    "Sends every line of FILE (or of standard input) to zamri in TCP mode as one text-line frame.\n"
    "  -H, --host HOST     server name or IPv4 address (default 127.0.0.1)\n"
    "  -p, --port PORT     server port (default 10000)\n"
    "  -c, --camera N      camera number, 1 to 32 (default 1)\n"
    "  -f, --form-feed     end each receipt with a form feed: the last line goes as TEXT FF LF\n"
    "  -n, --repeat N      send the whole input N times, as N receipts (default 1)\n"
    "  -r, --rate R        send at most R lines per second (default: as fast as possible)\n"
    "  -q, --quiet         no summary on standard error\n"
    "Each line goes with LF as its end character (a CR before it is dropped).\n"
    "Exit status: 0 all lines sent, 1 usage, 2 cannot connect, 3 refused or no opening exchange,\n"
    "4 connection lost while sending.\n";

struct Options {
    const char* host = "127.0.0.1";
    int port = 10000;
    int camera = 1;
    bool formFeed = false;
    long repeat = 1;
    double rate = 0;
    bool quiet = false;
    const char* file = nullptr;
};

bool ParseLong(const char* text, long low, long high, long* out) {
    if (text == nullptr || *text == 0)
        return false;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != 0 || value < low || value > high)
        return false;
    *out = value;
    return true;
}

// 1 parsed, 0 usage error, -1 help shown.
int ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "-H" || arg == "--host") {
            if (value == nullptr)
                return 0;
            options->host = value;
            ++i;
        } else if (arg == "-p" || arg == "--port") {
            if (!ParseLong(value, 1, 65535, &number))
                return 0;
            options->port = static_cast<int>(number);
            ++i;
        } else if (arg == "-c" || arg == "--camera") {
            // Any 32-bit number goes out as given: the server decides which cameras exist.
            if (!ParseLong(value, INT32_MIN, INT32_MAX, &number))
                return 0;
            options->camera = static_cast<int>(number);
            ++i;
        } else if (arg == "-f" || arg == "--form-feed") {
            options->formFeed = true;
        } else if (arg == "-n" || arg == "--repeat") {
            if (!ParseLong(value, 1, 1000000000L, &options->repeat))
                return 0;
            ++i;
        } else if (arg == "-r" || arg == "--rate") {
            if (value == nullptr)
                return 0;
            char* end = nullptr;
            options->rate = std::strtod(value, &end);
            if (*end != 0 || options->rate < 0)
                return 0;
            ++i;
        } else if (arg == "-q" || arg == "--quiet") {
            options->quiet = true;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return 0;
        } else if (options->file == nullptr) {
            options->file = argv[i];
        } else {
            return 0;
        }
    }
    return 1;
}

// The input's lines, each with LF as its end character.
bool ReadLines(const char* path, std::vector<std::string>* lines) {
    FILE* in = stdin;
    if (path == nullptr || std::strcmp(path, "-") == 0) {
        UseBinaryStandardInput();
    } else {
        in = std::fopen(path, "rb");
        if (in == nullptr)
            return false;
    }
    std::string line;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines->push_back(line + "\n");
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty()) {
        if (line.back() == '\r')
            line.pop_back();
        lines->push_back(line + "\n");
    }
    if (in != stdin)
        std::fclose(in);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int parsed = ParseOptions(argc, argv, &options);
    if (parsed < 0)
        return 0;
    if (parsed == 0) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    std::vector<std::string> lines;
    if (!ReadLines(options.file, &lines)) {
        std::fprintf(stderr, "zamri-send: cannot read %s\n", options.file);
        return 1;
    }
    if (options.formFeed) {
        // The receipt's last line carries the form feed; an empty input sends a lone one.
        if (lines.empty())
            lines.push_back("\n");
        lines.back().insert(lines.back().size() - 1, 1, '\f');
    }

    SendClient client;
    if (!client.Connect(options.host, options.port)) {
        std::fprintf(stderr, "zamri-send: cannot connect to %s:%d\n", options.host, options.port);
        return 2;
    }
    int verdict = client.OpeningExchange();
    if (verdict != 1) {
        std::fprintf(stderr, "zamri-send: %s:%d %s\n", options.host, options.port,
                     verdict == 0 ? "refused the opening exchange" : "did not complete the opening exchange");
        return 3;
    }

    using Clock = std::chrono::steady_clock;
    Clock::time_point start = Clock::now();
    long long sent = 0;
    for (long round = 0; round < options.repeat; ++round) {
        for (const std::string& line : lines) {
            if (options.rate > 0) {
                auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                       static_cast<double>(sent) / options.rate));
                std::this_thread::sleep_until(due);
            }
            if (!client.SendTextLine(options.camera, line.data(), static_cast<int>(line.size()))) {
                std::fprintf(stderr, "zamri-send: connection lost after %lld lines\n", sent);
                return 4;
            }
            ++sent;
        }
    }
    client.Close();
    if (!options.quiet) {
        std::fprintf(stderr, "zamri-send: %lld lines sent to %s:%d for camera %d\n", sent, options.host,
                     options.port, options.camera);
    }
    return 0;
}
