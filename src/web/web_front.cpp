#include "web/web_front.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "codepage/code_page.h"
#include "config/channel_table.h"
#include "delivery/line_delivery.h"
#include "journal/local_clock.h"
#include "platform/os.h"
#include "web/live_view_sink.h"
#include "web/web_events.h"
#include "web/web_rules.h"
#include "web/web_search.h"
#include "web/web_subtitles.h"
#include "web/web_text.h"

namespace zamri {

namespace {

constexpr int kLiveHistory = 200;  // a new page starts with the latest lines

int64_t SteadyNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t WallNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string HostForUrl(const char* address) {
    std::string host = address;
    if (host == "0.0.0.0")
        return "127.0.0.1";
    if (host == "::")
        return "[::1]";
    if (host.find(':') != std::string::npos)
        return "[" + host + "]";
    return host;
}

}  // namespace

WebFront::WebFront(ChannelTable& table, LineDelivery& delivery, LiveFeed& feed, const char* version)
    : table_(table),
      delivery_(delivery),
      feed_(feed),
      version_(version != nullptr ? version : ""),
      started_(std::chrono::steady_clock::now()) {}

WebFront::~WebFront() {
    Stop();
}

int WebFront::Start(const Settings& settings, std::string& error) {
    WebOptions options = WebOptionsFrom(settings);
    SetRulesInForce(settings);
    if (options.port == 0) {
        error = options.error;
        return 0;
    }
    return StartWith(options, error);
}

int WebFront::StartWith(const WebOptions& options, std::string& error, const HttpServerLimits& limits) {
    Stop();
    stopping_ = false;
    options_ = options;
    std::vector<std::string> names;
    std::string bad;
    if (!ParseHostNames(options.hostNames, &names, &bad)) {
        error = "HttpHostNames in [Options]: \"" + bad + "\" is not a host name; the web page is off.";
        return 0;
    }
    // Both are in place before the server's thread starts: its requests read them.
    gate_ = std::make_unique<WebGate>(options.password, std::move(names));
    server_ = std::make_unique<HttpServer>(
        feed_, [this](const WebRequest& request) { return AnswerRequest(request, *this, *gate_); }, limits);
    if (!server_->Start(options.address, options.port, error)) {
        server_.reset();
        gate_.reset();
        return 0;
    }
    return 1;
}

void WebFront::Stop() {
    stopping_ = true;
    if (server_ != nullptr) {
        server_->Stop();
        server_.reset();
    }
    gate_.reset();
}

int WebFront::Port() const {
    return server_ != nullptr ? server_->Port() : 0;
}

std::string WebFront::LocalAddress() const {
    if (server_ == nullptr)
        return "";
    return "http://" + HostForUrl(options_.address) + ":" + std::to_string(server_->Port()) + "/";
}

std::string WebFront::ListenAddress() const {
    if (server_ == nullptr)
        return "";
    std::string host = options_.address;
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(server_->Port()) + "/";
}

std::string WebFront::Warning() const {
    if (server_ == nullptr || options_.password[0] != 0 || IsLoopbackAddress(options_.address))
        return "";
    return "warning: the web page at " + ListenAddress() +
           " has no password, so every machine that reaches this PC can read the receipts; set "
           "HttpPassword in [Options] (or HttpAddress=127.0.0.1 for this PC only)";
}

uint64_t WebFront::LiveStart() {
    uint64_t next = feed_.NextSeq();
    return next > kLiveHistory ? next - kLiveHistory : 1;
}

std::string WebFront::StatusJson() {
    int64_t now = WallNowMs();
    // Reentrant: capture's threads read the time zone at the same moment.
    int32_t offset = LocalUtcOffsetMinutes(now);
    int64_t steadyNow = SteadyNowMs();
    auto uptime =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_);
    bool serial = table_.GetMode() == 0;

    std::string out = "{\"version\":" + JsonString(version_);
    out += ",\"mode\":";
    out += serial ? "\"serial\"" : "\"TCP, port " + std::to_string(table_.GetTcpPort()) + "\"";
    out += ",\"uptimeSeconds\":" + std::to_string(uptime.count());
    out += ",\"now\":" + std::to_string(now);
    out += ",\"offset\":" + std::to_string(offset);
    out += ",\"cameras\":[";
    for (int camera = 1; camera <= kLiveCameraCount; ++camera) {
        LiveCamera seen = feed_.Camera(camera, now, offset);
        ChannelConfig* record = table_.GetChannel(static_cast<unsigned>(camera - 1));
        bool enabled = serial && record != nullptr && record->enabled != 0;
        std::string state = "ok";
        int64_t since = 0;
        int64_t lineErrors = enabled ? table_.LineErrors(camera - 1) : -1;
        bool disagrees = lineErrors_.Disagrees(camera - 1, lineErrors, steadyNow);
        std::string source = seen.source;
        if (enabled) {
            if (source.empty())
                source = record->portName;
            int64_t failing = table_.PortFailingSince(camera - 1);
            if (failing == -2) {
                state = "failing";  // its capture ended: the port could not be opened
            } else if (failing >= 0) {
                state = "failing";
                since = now - (steadyNow - failing);
            }
        }
        if (camera > 1)
            out += ',';
        out += "{\"camera\":" + std::to_string(camera);
        out += ",\"active\":";
        out += enabled || seen.linesTotal > 0 ? "true" : "false";
        out += ",\"source\":" + JsonString(source);
        out += ",\"state\":" + JsonString(state);
        out += ",\"since\":" + std::to_string(since);
        out += ",\"lastLineMs\":" + std::to_string(seen.lastLineMs);
        out += ",\"linesToday\":" + std::to_string(seen.linesToday);
        out += ",\"maskedCards\":" + std::to_string(delivery_.MaskedCardNumbers(camera));
        out += ",\"maskedUser\":" + std::to_string(delivery_.MaskedByUser(camera));
        if (lineErrors >= 0)
            out += ",\"lineErrors\":" + std::to_string(lineErrors);
        if (disagrees)
            out += ",\"disagreement\":" + JsonString(kLineSettingsWrong);
        out += "}";
    }
    out += "]";
    AdmissionGate::Summary refused;
    if (!serial && refusals_ && refusals_(&refused)) {
        out += ",\"refused\":{\"count\":" + std::to_string(refused.count);
        out += ",\"last\":" + JsonString(refused.lastPeer);
        out += ",\"t\":" + std::to_string(refused.lastUtcMs) + "}";
    }
    // Each sink with a place on the page fills it; the journal and the export read "off" when
    // no sink fills theirs.
    std::vector<std::pair<std::string, std::string>> places = {{"journal", "off"}, {"export", "off"}};
    for (const std::shared_ptr<LineSink>& sink : delivery_.Sinks()) {
        SinkStatus status = sink->Status();
        if (status.key.empty())
            continue;
        auto place = std::find_if(places.begin(), places.end(),
                                  [&status](const auto& known) { return known.first == status.key; });
        if (place != places.end())
            place->second = status.state;
        else
            places.emplace_back(status.key, status.state);
    }
    for (const auto& place : places)
        out += "," + JsonString(place.first) + ":" + JsonString(place.second);
    out += ",\"live\":{\"streams\":" + std::to_string(server_ != nullptr ? server_->OpenStreams() : 0);
    out += ",\"lost\":" + std::to_string(LiveLinesLost());
    out += ",\"bytes\":" + std::to_string(server_ != nullptr ? server_->LiveBytesHeld() : 0) + "}";
    out += ",\"warning\":" + JsonString(Warning());
    out += ",\"turnedAway\":{\"connections\":";
    out += std::to_string(server_ != nullptr ? server_->RefusedConnections() : 0);
    out += ",\"names\":" + std::to_string(gate_ != nullptr ? gate_->RefusedNames() : 0);
    out += ",\"passwords\":" + std::to_string(gate_ != nullptr ? gate_->WrongPasswords() : 0);
    out += ",\"heldBack\":" + std::to_string(gate_ != nullptr ? gate_->HeldBack() : 0) + "}";
    out += ",\"errors\":[";
    RecentMessage messages[kRecentMessageCount];
    int count = RecentMessages(messages, kRecentMessageCount);
    for (int i = count - 1; i >= 0; --i) {
        out += i == count - 1 ? "{" : ",{";
        out += "\"t\":" + std::to_string(messages[i].utcMs);
        std::string text;
        AppendWindowsAsUtf8(options_.recorderCodePage, messages[i].text, std::strlen(messages[i].text),
                            &text);
        out += ",\"text\":" + JsonString(text);
        out += "}";
    }
    out += "]}";
    return out;
}

uint64_t WebFront::LiveLinesLost() const {
    for (const std::shared_ptr<LineSink>& sink : delivery_.Sinks()) {
        if (const auto* live = dynamic_cast<const LiveViewSink*>(sink.get()))
            return live->DroppedLines();
    }
    return 0;
}

int WebFront::JournalFolder(std::string& folder, std::string& error) const {
    folder.clear();
    for (const std::shared_ptr<LineSink>& sink : delivery_.Sinks()) {
        if (folder.empty())
            folder = sink->Status().searchFolder;
    }
    if (!folder.empty())
        return 1;
    error =
        "The journal is off, so there is nothing to search: it is on unless the settings file has "
        "an empty Journal= in [Options].";
    return 0;
}

int WebFront::SearchJson(const SearchQuery& query, std::string& json, std::string& error) {
    std::string folder;
    return JournalFolder(folder, error) && SearchJournal(folder, query, stopping_, json, error);
}

int WebFront::ExceptionsJson(const WebEventFilter& filter, std::string& json, std::string& error) {
    std::string folder;
    return JournalFolder(folder, error) && ExceptionListJson(folder, filter, stopping_, json, error);
}

int WebFront::ReportAnswer(const WebEventFilter& filter, bool csv, std::string& body, std::string& error) {
    std::string folder;
    return JournalFolder(folder, error) && ExceptionReportAnswer(folder, filter, csv, stopping_, body, error);
}

int WebFront::ReceiptJson(int camera, int64_t receipt, const std::string& at, std::string& json,
                          std::string& error) {
    std::string folder;
    return JournalFolder(folder, error) &&
           ReceiptLookupJson(folder, camera, receipt, at, stopping_, json, error);
}

int WebFront::SubtitlesText(const WebSubtitleQuery& query, std::string& text, std::string& error) {
    std::string folder;
    return JournalFolder(folder, error) && JournalSubtitleText(folder, query, stopping_, text, error);
}

void WebFront::SetRulesInForce(const Settings& settings) {
    std::string json = RulesInForceJson(settings);
    std::lock_guard<std::mutex> guard(rulesLock_);
    rulesJson_ = std::move(json);
}

std::string WebFront::RulesJson() {
    {
        std::lock_guard<std::mutex> guard(rulesLock_);
        if (!rulesJson_.empty())
            return rulesJson_;
    }
    return WebSite::RulesJson();
}

}  // namespace zamri
