#include "program/line_outputs.h"

#include "alert/digest_timer.h"
#include "alert/webhook_sink.h"
#include "config/settings.h"
#include "delivery/line_delivery.h"
#include "export/syslog_sink.h"
#include "journal/delivered_record.h"
#include "journal/journal_sink.h"
#include "platform/os.h"
#include "program/trouble_reporter.h"
#include "web/web_options.h"

namespace zamri {

LineOutputs::LineOutputs() = default;

LineOutputs::~LineOutputs() = default;

void LineOutputs::Start(const Settings& settings, LineDelivery& lines,
                        const std::string& recorderSettingsPath) {
    delivery = &lines;
    if (reporter == nullptr)
        reporter.reset(new TroubleReporter);
    TroubleReporter* report = reporter.get();
    auto trouble = [report](const std::string& message) { report->Report(message); };
    // Every sink that wants UTF-8 gets the text converted once, in the page the overlay receives.
    lines.SetTextCodePage(
        OverlayCodePageSource(UsableRecorderCodePage(settings.recorderCodePage), recorderSettingsPath));

    const JournalSettings& journalSettings = settings.journal;
    if (!journalSettings.folder.empty() && journal == nullptr) {
        journal = std::make_shared<JournalSink>(journalSettings.folder, journalSettings.keepDays, trouble);
        JournalSpace space;
        space.budgetBytes = journalSettings.budgetBytes;
        space.freeFloorBytes = journalSettings.freeFloorBytes;
        journal->SetSpace(space);
        if (journal->Start())
            lines.AddSink(journal);
        else
            report->Report("Journal: cannot start its writer; lines are not being written to the journal");
    }

    const std::string& target = settings.syslog.collector;
    if (!target.empty() && syslog == nullptr) {
        SyslogCollector collector;
        if (!ParseSyslogCollector(target, &collector)) {
            report->Report("Syslog: the collector \"" + target +
                           "\" is not tcp://HOST[:PORT] or udp://HOST[:PORT]; nothing is exported");
        } else {
            syslog = std::make_shared<SyslogSink>(collector, settings.syslog.bufferLines, trouble);
            if (syslog->Start())
                lines.AddSink(syslog);
            else
                report->Report("Syslog: cannot start the export; nothing is exported");
        }
    }

    // Hooks whose section could not be used were told with the settings' problems and are not here.
    const AlertSettings& alerts = settings.alerts;
    if (!alerts.hooks.empty() && webhooks == nullptr) {
        webhooks = std::make_shared<WebhookSink>(alerts);
        if (!webhooks->Start())
            report->Report("Webhooks: cannot start the sending threads of every hook; some send nothing");
        lines.AddSink(webhooks);
    }
    if (alerts.options.digestTime.on && digest == nullptr) {
        if (journalSettings.folder.empty()) {
            report->Report("Digest: DigestTime is set but the journal is off; no digest is made");
        } else {
            std::shared_ptr<WebhookSink> hooks = webhooks;
            auto post = [hooks](const std::string& record) {
                if (hooks != nullptr)
                    hooks->AcceptRecord(AlertEvent::kDigest, record);
            };
            digest = std::make_unique<DigestTimer>(alerts.options.digestTime, journalSettings.folder, post,
                                                   trouble);
            if (!digest->Start())
                report->Report("Digest: cannot start its timer; no digest is made");
        }
    }

    // Before capture, so the page shows every line from the first on, whenever it starts.
    if (WebOptionsFrom(settings).port != 0 && !live.Start(lines))
        report->Report("Web page: cannot start the live view; the page shows no new lines");
}

void LineOutputs::Stop() {
    live.Stop();
    digest.reset();
    if (webhooks != nullptr) {
        delivery->RemoveSink(webhooks.get());
        webhooks->Stop(kFinishMilliseconds);
        // The stop summary: standard error of the service, the tray program's error log.
        for (const std::string& line : webhooks->Summary())
            WriteErrorLine(line.c_str());
        webhooks.reset();
    }
    if (journal != nullptr) {
        delivery->RemoveSink(journal.get());
        journal->Stop(kFinishMilliseconds);
        uint64_t lost = journal->DroppedLines() + journal->Writer().NotWritten();
        if (lost > 0 && reporter != nullptr)
            reporter->Report("Journal: " + std::to_string(lost) + " lines were not written to " +
                             journal->Writer().Folder());
        journal.reset();
    }
    if (syslog != nullptr) {
        delivery->RemoveSink(syslog.get());
        uint64_t overflow = syslog->DroppedLines();
        syslog->Stop(kFinishMilliseconds);
        uint64_t lost = syslog->UnsentLines();
        if (lost > 0 && reporter != nullptr)
            reporter->Report("Syslog: " + std::to_string(lost) + " lines were not sent to " +
                             DescribeCollector(syslog->Exporter().Collector()) + " (" +
                             std::to_string(overflow) +
                             " did not fit in the export buffer, the rest were waiting at stop)");
        syslog.reset();
    }
    reporter.reset();
    delivery = nullptr;
}

}  // namespace zamri
