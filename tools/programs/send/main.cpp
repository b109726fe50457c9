// zamri-send: sends lines to a running zamri in TCP mode, as till software would, or (--raw,
// --udp) a print job's bytes unchanged, as a till sends them to a network printer. Installers use
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
    "      --raw           send the bytes of FILE unchanged over TCP, as a till sends a print job\n"
    "                      to a network printer: no opening exchange, no frames (default port 9100)\n"
    "      --udp           send the bytes of FILE unchanged as UDP datagrams (default port 9100)\n"
    "Each line goes with LF as its end character (a CR before it is dropped). With --raw or --udp,\n"
    "-n repeats the bytes, -r counts LF-ended pieces, and a datagram carries at most 1400 bytes.\n"
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
    bool portGiven = false;
    int raw = 0;  // 0 frames, 1 raw TCP, 2 UDP datagrams
    const char* file = nullptr;
};

constexpr int kRawPort = 9100;
constexpr size_t kDatagramBytes = 1400;  // fits an Ethernet frame

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
            options->portGiven = true;
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
        } else if (arg == "--raw") {
            options->raw = 1;
        } else if (arg == "--udp") {
            options->raw = 2;
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

// The file, or standard input (in binary mode) for "-" or no path; nullptr when it cannot be
// opened. CloseInput closes what OpenInput opened.
FILE* OpenInput(const char* path) {
    if (path == nullptr || std::strcmp(path, "-") == 0) {
        UseBinaryStandardInput();
        return stdin;
    }
    return std::fopen(path, "rb");
}

void CloseInput(FILE* in) {
    if (in != stdin)
        std::fclose(in);
}

bool ReadBytes(const char* path, std::string* bytes) {
    FILE* in = OpenInput(path);
    if (in == nullptr)
        return false;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        bytes->append(buffer, n);
    CloseInput(in);
    return true;
}

// The pieces that go one at a time: each ends at an LF (and a datagram at its size limit); one
// piece for raw TCP at full speed.
std::vector<std::string> Pieces(const std::string& bytes, const Options& options) {
    std::vector<std::string> pieces;
    if (options.raw == 1 && options.rate <= 0) {
        pieces.push_back(bytes);
        return pieces;
    }
    std::string piece;
    for (char c : bytes) {
        piece.push_back(c);
        if (c == '\n' || (options.raw == 2 && piece.size() >= kDatagramBytes)) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    return pieces;
}

// --raw and --udp: the exit status.
int SendRaw(const Options& options) {
    std::string bytes;
    if (!ReadBytes(options.file, &bytes)) {
        std::fprintf(stderr, "zamri-send: cannot read %s\n", options.file);
        return 1;
    }
    std::vector<std::string> pieces = Pieces(bytes, options);
    SendClient client;  // also starts the socket library
    zamri::SocketHandle datagram = zamri::kInvalidSocket;
    if (options.raw == 1 && !client.Connect(options.host, options.port)) {
        std::fprintf(stderr, "zamri-send: cannot connect to %s:%d\n", options.host, options.port);
        return 2;
    }
    if (options.raw == 2 && (datagram = zamri::SocketOpenDatagram()) == zamri::kInvalidSocket) {
        std::fprintf(stderr, "zamri-send: cannot open a datagram socket\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point start = Clock::now();
    long long sent = 0;
    long long total = 0;
    for (long round = 0; round < options.repeat; ++round) {
        for (const std::string& piece : pieces) {
            if (options.rate > 0) {
                auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                       static_cast<double>(sent) / options.rate));
                std::this_thread::sleep_until(due);
            }
            int ok = options.raw == 1
                         ? client.SendBytes(piece.data(), static_cast<int>(piece.size()))
                         : zamri::SocketSendTo(datagram, piece.data(), static_cast<int>(piece.size()),
                                               options.host, options.port) == static_cast<int>(piece.size());
            if (!ok) {
                std::fprintf(stderr, "zamri-send: %s after %lld bytes\n",
                             options.raw == 1 ? "connection lost" : "cannot send", total);
                zamri::SocketClose(datagram);
                return options.raw == 1 ? 4 : 2;
            }
            ++sent;
            total += static_cast<long long>(piece.size());
        }
    }
    client.Close();
    zamri::SocketClose(datagram);
    if (!options.quiet) {
        std::fprintf(stderr, "zamri-send: %lld bytes sent to %s:%d %s\n", total, options.host, options.port,
                     options.raw == 1 ? "over TCP" : "as UDP datagrams");
    }
    return 0;
}

// The input's lines, each with LF as its end character.
bool ReadLines(const char* path, std::vector<std::string>* lines) {
    FILE* in = OpenInput(path);
    if (in == nullptr)
        return false;
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
    CloseInput(in);
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
    if (options.raw != 0) {
        if (!options.portGiven)
            options.port = kRawPort;
        return SendRaw(options);
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
