// Where delivered lines go besides the overlay library, as section [Options] of the settings
// file sets it up at start-up: the journal (Journal=, JournalDays=, JournalSizeMB=,
// JournalFreeMB=) and the syslog export (Syslog=, SyslogBuffer=). Trouble with either is shown
// once and capture goes on.
#pragma once

#include <memory>
#include <string>

class ChannelTable;

namespace zamri {

class JournalSink;
class SyslogSink;
class TroubleReporter;

class LineOutputs {
  public:
    LineOutputs();
    ~LineOutputs();
    LineOutputs(const LineOutputs&) = delete;
    LineOutputs& operator=(const LineOutputs&) = delete;

    // Adds the sinks that the settings the table read ask for to its delivery step.
    void Start(ChannelTable& table, const std::string& recorderSettingsPath);
    // Takes the sinks off, lets them finish what is queued (a few seconds at most) and reports
    // any lines they could not write or send. Harmless when nothing was started.
    void Stop(ChannelTable& table);

    JournalSink* Journal() const { return journal.get(); }
    SyslogSink* Syslog() const { return syslog.get(); }

    // The time the sinks get at stop for what is still queued.
    static constexpr int kFinishMilliseconds = 3000;

  private:
    std::unique_ptr<TroubleReporter> reporter;
    std::shared_ptr<JournalSink> journal;
    std::shared_ptr<SyslogSink> syslog;
};

// The running program's outputs (StartAfterChecks and StopBeforeExit use them).
LineOutputs& ProcessLineOutputs();

}  // namespace zamri
