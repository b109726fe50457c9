// Serial capture threads: one per enabled channel, from port to overlay.
//
// Who may touch what:
// - A channel's run (thread, threadId, capture, network) changes only under the capture lock: the
//   starter sets them before the thread runs, the thread clears them in its teardown, a stopper
//   that gives up waiting clears them and marks the thread abandoned.
// - A thread is given what it needs of its channel when it starts (the record, the run, the
//   delivery step, the settings path), never the table. An abandoned thread never touches any
//   of them again (the table and the capture may be gone by then); it only finishes with its
//   own capture object. It learns that under the same lock, so the lock must outlive every
//   table: it is a process-wide object that is never destroyed.
// - The capture object is destroyed by its thread only after it is out of the record, so a
//   stopper or the dump commands, which reach it through the record under the lock, never see
//   a destroyed object.
// - A thread holds the lock while it hands a line to the delivery step (a plain mutex: the
//   overlay step is serialised by the overlay lock anyway, and a stopper waiting for it must
//   not be starved by readers), so a stopper that gives up never races a delivery.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "capture/capture_threads.h"
#include "capture/channel_capture.h"

#include "config/channel_table.h"
#include "config/settings.h"
#include "delivery/line_delivery.h"
#include "health/feed_health_monitor.h"
#include "net/port_name.h"
#include "netsource/network_capture.h"
#include "platform/os.h"
#include "serial/serial_capture.h"
#include "tcp/tcp_ingest_server.h"

struct CaptureThread {
    int32_t id;  // unique for the process: tells a late thread from a newer one of its record
    int index;   // the channel, 0 to 31
    // The channel's record (read under the capture lock; its enabled field is watched), its run,
    // and where its lines go.
    ChannelConfig* record;
    ChannelRun* run;
    LineDelivery* delivery;
    char settingsPath[zamri::kMaxPath];
    int slotIdleSeconds;
    int recorderPage;            // "RecorderCodePage" as the settings were read
    bool stopRequested = false;  // under the capture lock; may come before the capture object
    bool abandoned = false;      // under the capture lock
};

namespace {

constexpr int kStopWaitMilliseconds = 2000;
constexpr int kWaitStepMilliseconds = 1;

std::mutex& CaptureLock() {
    static std::mutex* lock = new std::mutex;  // outlives every table and thread
    return *lock;
}

std::atomic<int32_t> nextThreadId{1};
std::atomic<int> abandonedThreads{0};

// Caller holds the capture lock exclusively.
void SignalLocked(ChannelRun& run) {
    CaptureThread* thread = run.thread.load();
    if (thread != nullptr)
        thread->stopRequested = true;
    SerialCapture* capture = run.capture.load();
    if (capture != nullptr)
        capture->RequestStop();
    NetworkCapture* network = run.network.load();
    if (network != nullptr)
        network->RequestStop();
}

// Where a network channel's decoder threads hand their lines: the same delivery step as the
// serial line loop (mask, filter, overlay, journal and other sinks), under the same lock, and
// nothing once the thread is abandoned.
class ChannelLineOutput : public LineOutput {
  public:
    ChannelLineOutput(LineDelivery& lines, int channel, CaptureThread* thread)
        : delivery(lines), index(channel), self(thread) {}
    void SetSource(const char* portName) { std::snprintf(source, sizeof source, "%s", portName); }
    void Deliver(const char* text, int flags) override {
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (self->abandoned)
            return;
        delivery.Deliver(index + 1, flags, source, text);
    }

  private:
    LineDelivery& delivery;
    int index;
    CaptureThread* self;
    char source[kChannelTextSize] = {};
};

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SamePortName(const char* a, const char* b) {
    // Windows names ports without regard to case; no two Linux devices differ only in case.
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

void ShowOpenFailed(const char* portName, int index) {
    char message[kChannelTextSize + 64];
    std::snprintf(message, sizeof message, "%s (for Camera %d) open failed.", portName, index);
    zamri::ShowMessage(message, "Error", zamri::kMsgOk);
}

// A channel whose port name names a network source: its loop runs on this capture thread.
void RunNetworkChannel(CaptureThread* self) {
    ChannelConfig& record = *self->record;
    ChannelRun& run = *self->run;
    int index = self->index;
    ChannelLineOutput output(*self->delivery, index, self);
    auto teardown = [&] {
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (!self->abandoned && run.thread.load() == self) {
            run.network = nullptr;
            run.threadId = -1;
            run.thread = nullptr;  // last: the stopper watches this one
        }
    };
    NetworkCapture* capture = nullptr;
    char portName[kChannelTextSize];
    char decodingProblem[256] = {};
    int recorderPage = self->recorderPage;
    {
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (self->abandoned)
            return;
        std::memcpy(portName, record.portName, sizeof portName);
        portName[kChannelTextSize - 1] = 0;
        output.SetSource(portName);
        DecoderSettings settings;
        settings.emulation = record.emulation;
        settings.patternFlags = record.patternFlags;
        std::snprintf(settings.patternText, sizeof settings.patternText, "%s", record.patternText);
        RecorderSettingsPath(self->settingsPath, settings.recorderSettings, sizeof settings.recorderSettings);
        settings.decoding = record.decoding;
        settings.recorderPage = recorderPage;
        LineDecoder probe;
        ApplyDecodingOptions(probe, settings.decoding, recorderPage, portName, decodingProblem,
                             sizeof decodingProblem);
        if (!self->stopRequested)
            capture = new (std::nothrow) NetworkCapture(portName, settings, output);
        if (capture == nullptr) {
            guard.unlock();
            teardown();
            return;
        }
        capture->SetAllowedSenders(record.allowedSenders);
        capture->SetIdleLimit(self->slotIdleSeconds * 1000);
        run.network = capture;
    }
    if (capture->Open() == 0) {
        teardown();
        delete capture;
        ShowOpenFailed(portName, index);
        return;
    }
    {
        // A serial port that failed to open before the channel became a network one is over.
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (!self->abandoned && run.thread.load() == self)
            run.openFailedSince = -1;
    }
    // On the error output rather than in a box that would hold this channel's tills meanwhile.
    if (decodingProblem[0] != 0)
        zamri::WriteErrorLine(decodingProblem);
    capture->Run();
    teardown();
    delete capture;  // out of the record: no stopper or dump command reaches it any more
}

// A channel whose port name names a serial port: its line loop runs on this capture thread.
void RunSerialChannel(CaptureThread* self) {
    ChannelConfig& record = *self->record;
    ChannelRun& run = *self->run;
    int index = self->index;

    // Clears the record if it is still this thread's, then destroys the capture object, whose
    // port is already closed so that a new thread can open it at once.
    auto teardown = [&](SerialCapture* capture) {
        {
            std::unique_lock<std::mutex> guard(CaptureLock());
            if (!self->abandoned && run.thread.load() == self) {
                run.capture = nullptr;
                run.threadId = -1;
                run.thread = nullptr;  // last: the stopper watches this one
            }
        }
        delete capture;
    };

    char recorderSettings[zamri::kMaxPath] = {};
    DecodingOptions decoding;
    SerialCapture* capture = new (std::nothrow) SerialCapture;
    {
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (self->abandoned) {
            guard.unlock();
            delete capture;
            return;
        }
        if (capture == nullptr || self->stopRequested) {
            guard.unlock();
            teardown(capture);
            return;
        }
        capture->Configure(record.portName, record.baudRate, record.parity, record.dataBits, record.stopBits,
                           record.flowControl,
                           SerialCapture::ReadTimeoutFor(record.decoding, record.readTimeout));
        capture->SetEmulation(record.emulation);
        capture->SetPattern(record.patternFlags, record.patternText);
        decoding = record.decoding;
        RecorderSettingsPath(self->settingsPath, recorderSettings, sizeof recorderSettings);
        run.capture = capture;
    }
    capture->SetRecorderSettingsPath(recorderSettings);
    char decodingProblem[256];
    capture->SetDecoding(decoding, self->recorderPage, decodingProblem, sizeof decodingProblem);

    // Only while the run is still this thread's: an abandoned thread's mark would belong to
    // the channel's next one.
    auto markOpen = [&](bool failed) {
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (!self->abandoned && run.thread.load() == self)
            run.openFailedSince = failed ? SteadyMilliseconds() : -1;
    };
    if (capture->Open() == 0) {
        char portName[kChannelTextSize];
        std::snprintf(portName, sizeof portName, "%s", capture->portName);
        markOpen(true);
        teardown(capture);
        // Shown after the teardown: the box blocks only this thread, which holds nothing of the
        // table any more, so neither other channels nor shutdown wait for the user.
        ShowOpenFailed(portName, index);
        return;
    }
    markOpen(false);
    // Only a settings file edited by hand gets here (the property sheet offers usable pages);
    // meanwhile the port's own buffer keeps what the till sends.
    if (decodingProblem[0] != 0)
        zamri::ShowMessage(decodingProblem, "Warning", zamri::kMsgOk);

    for (;;) {
        {
            std::unique_lock<std::mutex> guard(CaptureLock());
            // enabled belongs to the main thread, which may clear it while this thread runs.
            if (self->abandoned || __atomic_load_n(&record.enabled, __ATOMIC_RELAXED) == 0)
                break;
        }
        const char* text;
        int flags;
        if (capture->ReadLine(&text, &flags) < 0)
            break;
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (self->abandoned)
            break;
        self->delivery->Deliver(index + 1, flags, capture->portName, text);
    }
    capture->Close();
    teardown(capture);
}

void CaptureThreadMain(CaptureThread* self) {
    bool network = false;
    {
        // Waits for the starter to finish the record's run, and learns of a stop that came first.
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (self->abandoned) {
            guard.unlock();
            delete self;
            return;
        }
        network = IsNetworkPortName(self->record->portName);
    }
    if (network)
        RunNetworkChannel(self);
    else
        RunSerialChannel(self);
    delete self;
}

}  // namespace

int AbandonedCaptureThreads() {
    return abandonedThreads.load();
}

ChannelCapture::ChannelCapture(ChannelTable& channelTable, LineDelivery& lines)
    : table(channelTable), delivery(lines) {
    table.SetCaptureControl(this);
    ModeSet(table.GetMode());
}

ChannelCapture::~ChannelCapture() {
    StopCapture();
    // Ends the worker, which delivers lines, before the delivery step can go.
    tcpServer.reset();
    table.SetCaptureControl(nullptr);
}

void ChannelCapture::ModeSet(int mode) {
    if (mode == 1 && tcpServer == nullptr)
        CreateTcpServer();
}

int ChannelCapture::StartCapture() {
    return table.GetMode() == 1 ? StartTcpCapture() : StartSerialCapture();
}

int ChannelCapture::StopCapture() {
    return table.GetMode() == 1 ? StopTcpCapture() : StopSerialCapture();
}

int ChannelCapture::StartSerialCapture() {
    for (int i = 0; i < kChannelCount; ++i) {
        if (table.channels[i].enabled != 0 && runs[i].thread.load() == nullptr && !runs[i].paused.load())
            StartChannel(i);
    }
    return 1;
}

int ChannelCapture::PauseChannelOnPort(const char* portName) {
    int index = -1;
    {
        std::unique_lock<std::mutex> guard(CaptureLock());
        for (int i = 0; i < kChannelCount && index < 0; ++i) {
            SerialCapture* capture = runs[i].capture.load();
            if (capture != nullptr && SamePortName(capture->portName, portName))
                index = i;
        }
        if (index < 0)
            return -1;
        runs[index].paused = true;
    }
    StopChannel(index);  // closes the port, also when the thread does not end in time
    return index;
}

int ChannelCapture::ResumeChannel(int index) {
    if (index < 0 || index >= kChannelCount || !runs[index].paused.exchange(false))
        return 0;
    if (table.channels[index].enabled == 0)
        return 0;
    return StartChannel(index);
}

int ChannelCapture::StopSerialCapture() {
    // A pause holds only while capture runs: the next start starts every enabled channel.
    for (ChannelRun& run : runs)
        run.paused = false;
    // Every thread is told first, so that they all wind down at once rather than one after the
    // other. This includes the thread of a disabled record, which StopChannel leaves alone:
    // shutdown must not wait on it for ever.
    {
        std::unique_lock<std::mutex> guard(CaptureLock());
        for (ChannelRun& run : runs)
            SignalLocked(run);
    }
    for (int i = 0; i < kChannelCount; ++i) {
        if (runs[i].thread.load() != nullptr)
            StopChannel(i);
    }
    for (int i = 0; i < kChannelCount; ++i) {
        while (runs[i].thread.load() != nullptr)
            zamri::SleepMilliseconds(kWaitStepMilliseconds);
    }
    return 1;
}

int ChannelCapture::StartChannel(int index) {
    if (index < 0 || index >= kChannelCount)
        return 0;
    ChannelRun& run = runs[index];
    // The lock is held until the record is filled in: the new thread's first step waits for it,
    // which is what lets the thread find its own record by its id.
    std::unique_lock<std::mutex> guard(CaptureLock());
    if (run.thread.load() != nullptr)
        return 0;
    CaptureThread* thread = new (std::nothrow) CaptureThread{nextThreadId.fetch_add(1),
                                                             index,
                                                             &table.channels[index],
                                                             &run,
                                                             &delivery,
                                                             {},
                                                             table.slotIdleSeconds,
                                                             table.GetSettings()->recorderCodePage};
    if (thread == nullptr)
        return 0;
    std::snprintf(thread->settingsPath, sizeof thread->settingsPath, "%s", table.GetSettingsPath());
    run.threadId = thread->id;
    run.thread = thread;
    try {
        std::thread(CaptureThreadMain, thread).detach();  // nothing needs the handle afterwards
    } catch (const std::system_error&) {
        run.threadId = -1;
        run.thread = nullptr;
        delete thread;
        return 0;
    }
    return 1;
}

int ChannelCapture::StopChannel(int index) {
    if (index < 0 || index >= kChannelCount)
        return 0;
    ChannelConfig& record = table.channels[index];
    ChannelRun& run = runs[index];
    if (record.enabled == 0)
        return 0;
    {
        std::unique_lock<std::mutex> guard(CaptureLock());
        if (run.thread.load() == nullptr)
            return 0;
        SignalLocked(run);
    }
    // Timed by the clock, not by counting sleeps: a short sleep can last far longer than asked
    // (about 16 ms on Windows).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMilliseconds);
    while (run.thread.load() != nullptr && std::chrono::steady_clock::now() < deadline)
        zamri::SleepMilliseconds(kWaitStepMilliseconds);
    std::unique_lock<std::mutex> guard(CaptureLock());
    CaptureThread* late = run.thread.load();
    if (late != nullptr) {
        // The thread goes on alone and destroys its capture object itself; its port is closed
        // now so that a new thread can open it.
        late->abandoned = true;
        abandonedThreads.fetch_add(1);
        SerialCapture* capture = run.capture.exchange(nullptr);
        if (capture != nullptr)
            capture->Close();
        run.network = nullptr;  // told to stop above; it closes its own sockets
        run.threadId = -1;
        run.thread = nullptr;
    }
    return 1;
}

int64_t ChannelCapture::PortFailingSince(int index) {
    if (index < 0 || index >= kChannelCount)
        return -2;
    std::unique_lock<std::mutex> guard(CaptureLock());
    SerialCapture* capture = runs[index].capture.load();
    return capture != nullptr ? capture->FailingSince() : -2;
}

int64_t ChannelCapture::LineErrors(int index) {
    if (index < 0 || index >= kChannelCount)
        return -1;
    std::unique_lock<std::mutex> guard(CaptureLock());
    SerialCapture* capture = runs[index].capture.load();
    if (capture == nullptr)
        return -1;
    SerialErrorCounts counts = capture->ErrorCounts();
    return static_cast<int64_t>(counts.framing + counts.parity);
}

void ChannelCapture::SampleHealth(zamri::FeedSample* sample) {
    int64_t now = SteadyMilliseconds();
    auto addGate = [sample](const char* front, const zamri::AdmissionGate::Summary& summary) {
        zamri::FeedGateSample gate;
        gate.front = front;
        gate.refused = summary.count;
        gate.lastPeer = summary.lastPeer;
        for (int i = 0; i < summary.recentCount; ++i)
            gate.recent.push_back({summary.recent[i].peer, summary.recent[i].count});
        sample->gates.push_back(std::move(gate));
    };
    if (TcpServer() != nullptr) {
        sample->camerasWatchedOnceSent = true;
        addGate("TCP server", tcpServer->RefusalsSoFar());
        TcpIngestServer::UnexpectedCameras unexpected = tcpServer->UnexpectedSoFar();
        sample->unexpectedFrames = unexpected.frames;
        sample->lastUnexpectedCamera = unexpected.lastCamera;
        sample->lastUnexpectedPeer = unexpected.lastPeer;
        return;
    }
    std::unique_lock<std::mutex> guard(CaptureLock());
    for (int i = 0; i < kChannelCount; ++i) {
        zamri::FeedChannelSample& channel = sample->channels[i];
        if (runs[i].paused.load())
            continue;  // its port is lent to Detect
        SerialCapture* serial = runs[i].capture.load();
        NetworkCapture* network = runs[i].network.load();
        // A channel whose port did not open has no thread, but it is enabled and captures
        // nothing: a failed port until it opens or the channel is switched off.
        int64_t openFailed = runs[i].openFailedSince.load();
        bool notOpened = openFailed >= 0 && network == nullptr &&
                         __atomic_load_n(&table.channels[i].enabled, __ATOMIC_RELAXED) != 0;
        if (serial == nullptr && network == nullptr && !notOpened)
            continue;
        channel.watched = true;
        channel.source = table.channels[i].portName;
        if (notOpened) {
            channel.portNotOpened = true;
            channel.portFailingMilliseconds = now - openFailed;
        } else if (serial != nullptr) {
            int64_t since = serial->FailingSince();
            channel.portFailingMilliseconds = since >= 0 ? now - since : -1;
            SerialErrorCounts counts = serial->ErrorCounts();
            channel.lineErrors = counts.framing + counts.parity;
        } else {
            addGate(network->PortName(), network->RefusalsSoFar());
        }
    }
}

int ChannelCapture::StartDump(const char* portName, const char* fileName) {
    std::unique_lock<std::mutex> guard(CaptureLock());
    for (int i = 0; i < kChannelCount; ++i) {
        SerialCapture* capture = runs[i].capture.load();
        if (capture != nullptr && capture->OpenDump(portName, fileName) != 0)
            return i;
        NetworkCapture* network = runs[i].network.load();
        if (network != nullptr && network->OpenDump(portName, fileName) != 0)
            return i;
    }
    return -1;
}

int ChannelCapture::StopDump(int index) {
    if (index < 0 || index >= kChannelCount)
        return 0;
    std::unique_lock<std::mutex> guard(CaptureLock());
    SerialCapture* capture = runs[index].capture.load();
    if (capture != nullptr)
        return capture->CloseDump();
    NetworkCapture* network = runs[index].network.load();
    return network != nullptr ? network->CloseDump() : 0;
}
