#include "program/program.h"

#include "config/settings.h"
#include "tcp/tcp_ingest_server.h"

namespace zamri {

Program::Program(const char* version) : web(table, delivery, sinks.Live().Feed(), version) {
    // The table's lists and masks reach the delivery step whenever they change.
    table.SetFilterReceiver([this](LineFilter filter) { delivery.SetFilter(std::move(filter)); });
    table.SetSettingsReceiver([this](const Settings& read) {
        delivery.LoadMasks(read.masks);
        delivery.SetReceipts(read.receipts);
    });
    ticker.SetAlso([this] { health.Tick(); });
    web.SetRefusalSource([this](AdmissionGate::Summary* summary) {
        TcpIngestServer* server = capture.TcpServer();
        if (server == nullptr)
            return 0;
        *summary = server->RefusalsSoFar();
        return 1;
    });
}

Program::~Program() {
    Stop();
}

int Program::Start(const std::string& recorderSettingsPath, const std::function<bool()>& stopAsked) {
    auto stopping = [&stopAsked] { return stopAsked && stopAsked(); };
    if (stopping())
        return 0;
    table.LoadSettings();
    if (stopping())
        return 0;
    std::shared_ptr<const Settings> settings = table.GetSettings();
    sinks.Start(*settings, delivery, recorderSettingsPath);
    health.Start(settings->health);
    ticker.Start();
    if (stopping())
        return 0;
    capture.StartCapture();
    webError.clear();
    if (!stopping() && !web.Start(*settings, webError))
        sinks.Live().Stop();  // nothing would read it
    return 1;
}

void Program::UseReceiptSettings(const Settings& read) {
    delivery.SetReceipts(read.receipts);
    web.SetRulesInForce(read);
}

void Program::Stop() {
    web.Stop();
    capture.StopCapture();
    ticker.Stop();
    health.Stop();
    // After capture and before the sinks: the last receipt's records reach the sinks too.
    delivery.Flush();
    // After capture: the last lines are in the sinks' queues by now.
    sinks.Stop();
}

}  // namespace zamri
