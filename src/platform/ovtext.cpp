// Substitute for the recorder's overlay library: every call becomes one flushed line of the
// record format in overlay_record.h.
//
// Environment:
//   OVTEXT_LOG         file to append the record to (read again at every OV_open, so one
//                      process can switch files); unset: the platform's default sink.
//   OVTEXT_FAIL_OPENS  the first N calls of OV_open after the record file was chosen return 0,
//                      as an unavailable library would.
//   OVTEXT_OPEN_DELAY_MS  every OV_open takes this long, as a slow library would.
#include "platform/ovtext.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/overlay_record.h"
#include "platform/ovtext_sink.h"

namespace {

struct OverlaySink {
    std::mutex lock;
    FILE* file = nullptr;
    bool owned = false;
    bool chosen = false;
    std::string path;
    int failedOpens = 0;
};

OverlaySink& Sink() {
    static OverlaySink sink;
    return sink;
}

std::atomic<int> nextHandle{1};

// Caller holds sink.lock.
void ChooseSink(OverlaySink& sink) {
    const char* wanted = std::getenv("OVTEXT_LOG");
    std::string path = wanted != nullptr ? wanted : "";
    if (sink.chosen && path == sink.path)
        return;
    if (sink.owned && sink.file != nullptr)
        std::fclose(sink.file);
    sink.file = nullptr;
    sink.owned = false;
    if (!path.empty()) {
        sink.file = std::fopen(path.c_str(), "ab");
        sink.owned = sink.file != nullptr;
    } else {
        sink.file = zamri::OpenDefaultOverlaySink(&sink.owned);
    }
    sink.path = path;
    sink.chosen = true;
    sink.failedOpens = 0;
}

// One line per call under the lock, flushed at once: concurrent writers never interleave and
// a crash loses nothing already recorded.
void Record(OverlaySink& sink, const std::string& line) {
    if (sink.file == nullptr)
        return;
    std::fwrite(line.data(), 1, line.size(), sink.file);
    std::fputc('\n', sink.file);
    std::fflush(sink.file);
}

int FailOpensWanted() {
    const char* value = std::getenv("OVTEXT_FAIL_OPENS");
    return value != nullptr ? std::atoi(value) : 0;
}

}  // namespace

extern "C" OVTEXT_API int OV_open(int a, int b) {
    if (const char* delay = std::getenv("OVTEXT_OPEN_DELAY_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
    OverlaySink& sink = Sink();
    std::lock_guard<std::mutex> guard(sink.lock);
    ChooseSink(sink);
    int handle = 0;
    if (sink.failedOpens < FailOpensWanted()) {
        ++sink.failedOpens;
    } else {
        handle = nextHandle.fetch_add(1);
    }
    Record(sink, zamri::FormatOpenRecord(a, b, handle));
    return handle;
}

extern "C" OVTEXT_API int OV_write(int handle, int channel, int flags, const char* text) {
    std::string line = zamri::FormatWriteRecord(handle, channel, flags, text);
    OverlaySink& sink = Sink();
    std::lock_guard<std::mutex> guard(sink.lock);
    if (!sink.chosen)
        ChooseSink(sink);
    Record(sink, line);
    return 1;
}

extern "C" OVTEXT_API int OV_close(int handle) {
    OverlaySink& sink = Sink();
    std::lock_guard<std::mutex> guard(sink.lock);
    if (!sink.chosen)
        ChooseSink(sink);
    Record(sink, zamri::FormatCloseRecord(handle));
    return 1;
}
