#include "support/browser.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/http_client.h"
#include "web/web_text.h"

namespace testing_support {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The JSON value that follows "name": in text (a string literal, object or scalar), as text.
std::string ValueAfter(const std::string& text, const std::string& name, size_t from = 0) {
    std::string key = "\"" + name + "\":";
    size_t at = text.find(key, from);
    if (at == std::string::npos)
        return "";
    size_t start = at + key.size();
    if (start < text.size() && text[start] == '"') {
        size_t i = start + 1;
        while (i < text.size() && text[i] != '"')
            i += text[i] == '\\' ? 2 : 1;
        return text.substr(start, i + 1 - start);
    }
    size_t end = text.find_first_of(",}", start);
    return text.substr(start, end - start);
}

std::string Quote(const std::string& text) {
    return zamri::JsonString(text);
}

}  // namespace

std::string JsonUnquote(const std::string& json) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"')
        return "";
    std::string out;
    for (size_t i = 1; i + 1 < json.size(); ++i) {
        char c = json[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        char e = json[++i];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                uint32_t code =
                    static_cast<uint32_t>(std::strtoul(json.substr(i + 1, 4).c_str(), nullptr, 16));
                i += 4;
                if (code >= 0xD800 && code < 0xDC00 && json.compare(i + 1, 2, "\\u") == 0) {
                    uint32_t low =
                        static_cast<uint32_t>(std::strtoul(json.substr(i + 3, 4).c_str(), nullptr, 16));
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                out += e;
                break;
        }
    }
    return out;
}

struct Browser::Impl {
    pid_t pid = -1;
    std::filesystem::path profile;
    asio::io_context io;
    std::unique_ptr<websocket::stream<tcp::socket>> ws;
    int nextId = 1;

    // Sends a command and returns its reply (events in between are passed over).
    std::string Call(const std::string& method, const std::string& params) {
        int id = nextId++;
        std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method +
                              "\",\"params\":" + (params.empty() ? "{}" : params) + "}";
        beast::error_code error;
        ws->write(asio::buffer(message), error);
        if (error)
            return "";
        std::string marker = "{\"id\":" + std::to_string(id) + ",";
        for (;;) {
            beast::flat_buffer buffer;
            ws->read(buffer, error);
            if (error)
                return "";
            std::string reply = beast::buffers_to_string(buffer.data());
            if (reply.compare(0, marker.size(), marker) == 0)
                return reply;
        }
    }
};

Browser::Browser() : impl_(std::make_unique<Impl>()) {}

Browser::~Browser() {
    if (impl_->ws) {
        beast::error_code ignored;
        impl_->ws->next_layer().close(ignored);
    }
    if (impl_->pid > 0) {
        kill(impl_->pid, SIGTERM);
        int status;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (waitpid(impl_->pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(impl_->pid, SIGKILL);
                waitpid(impl_->pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!impl_->profile.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(impl_->profile, ignored);
    }
}

int Browser::Start(int width, int height, const std::vector<std::string>& flags) {
    const char* program = std::getenv("ZAMRI_CHROMIUM");
    if (program == nullptr || program[0] == 0)
        program = "/usr/bin/chromium";
    if (access(program, X_OK) != 0) {
        error_ = std::string(program) + " is not there (Debian package chromium)";
        return 0;
    }
    char pattern[] = "/tmp/zamri-chromium-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        error_ = "cannot make a profile folder";
        return 0;
    }
    impl_->profile = pattern;
    std::vector<std::string> args = {program,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--hide-scrollbars",
                                     "--disable-background-timer-throttling",
                                     "--disable-renderer-backgrounding",
                                     "--disable-backgrounding-occluded-windows",
                                     "--user-data-dir=" + impl_->profile.string(),
                                     "--remote-debugging-port=0",
                                     "--window-size=" + std::to_string(width) + "," + std::to_string(height)};
    args.insert(args.end(), flags.begin(), flags.end());
    args.push_back("about:blank");
    std::fflush(nullptr);  // the child must not write out this process's buffered output
    impl_->pid = fork();
    if (impl_->pid < 0) {
        error_ = "fork failed";
        return 0;
    }
    if (impl_->pid == 0) {
        // Chromium's own temporary folders go into the profile, which is removed with it, not
        // into /tmp where every run would leave some behind.
        setenv("TMPDIR", impl_->profile.c_str(), 1);
        std::FILE* ignored = std::freopen("/dev/null", "w", stderr);
        (void)ignored;
        ignored = std::freopen("/dev/null", "w", stdout);
        std::vector<char*> raw;
        for (std::string& a : args)
            raw.push_back(&a[0]);
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    // Chromium writes its debugging port into the profile once it listens.
    std::filesystem::path portFile = impl_->profile / "DevToolsActivePort";
    int port = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (port == 0 && std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(portFile);
        if (!(in >> port))
            port = 0;
        if (port == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (port == 0) {
        error_ = "chromium did not start its debugging port";
        return 0;
    }
    // The page's own endpoint, from the target list.
    std::string path;
    while (path.empty() && std::chrono::steady_clock::now() < deadline) {
        HttpReply list = HttpGet(port, "/json/list");
        size_t page = list.body.find("\"type\": \"page\"");
        std::string body = list.body;
        // The list is pretty-printed; make it compact enough for ValueAfter.
        std::string compact;
        for (size_t i = 0; i < body.size(); ++i) {
            if (body[i] == ':' && i + 1 < body.size() && body[i + 1] == ' ') {
                compact += ':';
                ++i;
            } else {
                compact += body[i];
            }
        }
        (void)page;
        std::string url = JsonUnquote(ValueAfter(compact, "webSocketDebuggerUrl"));
        size_t slash = url.find("/devtools/page/");
        if (slash != std::string::npos)
            path = url.substr(slash);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (path.empty()) {
        error_ = "chromium shows no page";
        return 0;
    }
    try {
        impl_->ws = std::make_unique<websocket::stream<tcp::socket>>(impl_->io);
        tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port));
        impl_->ws->next_layer().connect(endpoint);
        impl_->ws->read_message_max(256 * 1024 * 1024);
        impl_->ws->handshake("127.0.0.1:" + std::to_string(port), path);
    } catch (const std::exception& e) {
        error_ = std::string("cannot attach to chromium: ") + e.what();
        return 0;
    }
    return 1;
}

int Browser::Navigate(const std::string& url) {
    std::string reply = impl_->Call("Page.navigate", "{\"url\":" + Quote(url) + "}");
    if (reply.empty() || reply.find("\"errorText\"") != std::string::npos) {
        error_ = "navigation failed: " + reply;
        return 0;
    }
    return 1;
}

std::string Browser::Evaluate(const std::string& expression) {
    std::string script = "JSON.stringify((() => (" + expression + "))())";
    std::string reply = impl_->Call("Runtime.evaluate", "{\"expression\":" + Quote(script) +
                                                            ",\"returnByValue\":true,\"awaitPromise\":true}");
    if (reply.find("\"exceptionDetails\"") != std::string::npos) {
        error_ = reply;
        return "";
    }
    return JsonUnquote(ValueAfter(reply, "value"));
}

std::string Browser::Text(const std::string& expression) {
    std::string json = Evaluate(expression);
    if (!json.empty() && json.front() == '"')
        return JsonUnquote(json);
    return json;
}

int Browser::WaitFor(const std::string& expression, int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (Evaluate("!!(" + expression + ")") == "true")
            return 1;
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = "timed out waiting for: " + expression;
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int Browser::EmulatePhone(int width, int height) {
    std::string params = width > 0 ? "{\"width\":" + std::to_string(width) +
                                         ",\"height\":" + std::to_string(height) +
                                         ",\"deviceScaleFactor\":2,\"mobile\":true}"
                                   : "";
    std::string reply = width > 0 ? impl_->Call("Emulation.setDeviceMetricsOverride", params)
                                  : impl_->Call("Emulation.clearDeviceMetricsOverride", "");
    return reply.find("\"error\"") == std::string::npos && !reply.empty() ? 1 : 0;
}

int Browser::Screenshot(const std::string& pngPath) {
    std::string reply = impl_->Call("Page.captureScreenshot", "{\"format\":\"png\"}");
    std::string data = JsonUnquote(ValueAfter(reply, "data"));
    std::string png;
    if (data.empty() || !zamri::DecodeBase64(data, png)) {
        error_ = "no screenshot";
        return 0;
    }
    std::filesystem::create_directories(std::filesystem::path(pngPath).parent_path());
    std::ofstream out(pngPath, std::ios::binary);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    return out.good() ? 1 : 0;
}

}  // namespace testing_support
