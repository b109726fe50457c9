#include "program/line_outputs.h"

#include "config/settings.h"
#include "delivery/line_delivery.h"
#include "export/syslog_sink.h"
#include "journal/delivered_record.h"
#include "journal/journal_sink.h"
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

    // Before capture, so the page shows every line from the first on, whenever it starts.
    if (WebOptionsFrom(settings).port != 0 && !live.Start(lines))
        report->Report("Web page: cannot start the live view; the page shows no new lines");
}

void LineOutputs::Stop() {
    live.Stop();
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
