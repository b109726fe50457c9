#include "app/line_outputs.h"

#include "app/trouble_reporter.h"
#include "config/channel_table.h"
#include "export/syslog_sink.h"
#include "journal/delivered_record.h"
#include "journal/journal_settings.h"
#include "journal/journal_sink.h"
#include "platform/profile.h"

namespace zamri {

LineOutputs::LineOutputs() = default;

LineOutputs::~LineOutputs() = default;

LineOutputs& ProcessLineOutputs() {
    static LineOutputs outputs;
    return outputs;
}

void LineOutputs::Start(ChannelTable& table, const std::string& settingsPath,
                        const std::string& recorderSettingsPath) {
    if (reporter == nullptr)
        reporter.reset(new TroubleReporter);
    TroubleReporter* report = reporter.get();
    auto trouble = [report](const std::string& message) { report->Report(message); };
    int codePage = ReadRecorderCodePage(settingsPath);

    JournalSettings settings = ReadJournalSettings(settingsPath);
    if (!settings.folder.empty() && journal == nullptr) {
        journal = std::make_shared<JournalSink>(settings.folder, settings.keepDays, codePage,
                                                recorderSettingsPath, trouble);
        journal->SetSpace(settings.space);
        if (journal->Start())
            table.delivery.AddSink(journal);
        else
            report->Report("Journal: cannot start its writer; lines are not being written to the journal");
    }

    char value[260] = {};
    ProfileReadText(settingsPath.c_str(), "Options", "Syslog", "", value, sizeof value);
    std::string target = value;
    if (!target.empty() && syslog == nullptr) {
        SyslogCollector collector;
        if (!ParseSyslogCollector(target, &collector)) {
            report->Report("Syslog: the collector \"" + target +
                           "\" is not tcp://HOST[:PORT] or udp://HOST[:PORT]; nothing is exported");
        } else {
            int buffer = ProfileReadInt(settingsPath.c_str(), "Options", "SyslogBuffer",
                                        SyslogSink::kDefaultBufferLines);
            if (buffer < 1)
                buffer = SyslogSink::kDefaultBufferLines;
            syslog = std::make_shared<SyslogSink>(collector, buffer, codePage, recorderSettingsPath, trouble);
            if (syslog->Start())
                table.delivery.AddSink(syslog);
            else
                report->Report("Syslog: cannot start the export; nothing is exported");
        }
    }
}

void LineOutputs::Stop(ChannelTable& table) {
    if (journal != nullptr) {
        table.delivery.RemoveSink(journal.get());
        journal->Stop(kFinishMilliseconds);
        uint64_t lost = journal->DroppedLines() + journal->Writer().NotWritten();
        if (lost > 0 && reporter != nullptr)
            reporter->Report("Journal: " + std::to_string(lost) + " lines were not written to " +
                             journal->Writer().Folder());
        journal.reset();
    }
    if (syslog != nullptr) {
        table.delivery.RemoveSink(syslog.get());
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
}

}  // namespace zamri
