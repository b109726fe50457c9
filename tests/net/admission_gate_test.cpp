// The admission gate of every network front: which senders its list lets in, and how it counts
// and tells of those it turns away.
#include <gtest/gtest.h>

#include <string>

#include "net/admission_gate.h"
#include "net/allowed_senders.h"
#include "support/messages.h"

namespace {

TEST(AllowedSenders, AddressesAndBlocksLetInOnlyWhatTheyName) {
    AllowedSenders list;
    EXPECT_FALSE(list.Restricts());
    EXPECT_TRUE(list.Allows("203.0.113.9"));  // no list: everyone

    std::string rejected;
    EXPECT_EQ(3, list.Parse("10.1.0.5, 192.168.7.0/24 ;127.0.0.1/32", &rejected));
    EXPECT_TRUE(rejected.empty());
    EXPECT_TRUE(list.Allows("10.1.0.5"));
    EXPECT_FALSE(list.Allows("10.1.0.6"));
    EXPECT_TRUE(list.Allows("192.168.7.0"));
    EXPECT_TRUE(list.Allows("192.168.7.255"));
    EXPECT_FALSE(list.Allows("192.168.8.1"));
    EXPECT_TRUE(list.Allows("127.0.0.1"));
    EXPECT_FALSE(list.Allows("127.0.0.2"));
    EXPECT_FALSE(list.Allows("not an address"));

    EXPECT_EQ(1, list.Parse("10.0.0.0/8", nullptr));
    EXPECT_TRUE(list.Allows("10.200.3.4"));
    EXPECT_EQ(1, list.Parse("10.1.2.3/16", nullptr));  // host bits beyond the block are ignored
    EXPECT_TRUE(list.Allows("10.1.99.1"));
    EXPECT_EQ(1, list.Parse("0.0.0.0/0", nullptr));  // everyone, because the list says so
    EXPECT_TRUE(list.Allows("8.8.8.8"));
}

TEST(AllowedSenders, MalformedEntriesAreReportedAndNeverMeanEveryone) {
    AllowedSenders list;
    std::string rejected;
    EXPECT_EQ(1, list.Parse("10.1.0.300 10.1.0.5 * 10.1.0.0/33 10.1.0.0/ host.lan", &rejected));
    EXPECT_EQ("10.1.0.300 * 10.1.0.0/33 10.1.0.0/ host.lan", rejected);
    EXPECT_TRUE(list.Allows("10.1.0.5"));
    EXPECT_FALSE(list.Allows("10.1.0.6"));

    EXPECT_EQ(0, list.Parse("*", &rejected));
    EXPECT_TRUE(list.Restricts());
    EXPECT_FALSE(list.Allows("10.1.0.5"));  // a list of nothing valid lets nobody in

    EXPECT_EQ(0, list.Parse("  , ", &rejected));
    EXPECT_FALSE(list.Restricts());  // only separators: no list
}

TEST(RefusalLog, EveryRefusalCountsButAnAddressIsReportedOncePerMinute) {
    RefusalLog log;
    EXPECT_TRUE(log.Refused("10.0.0.9", 1000));
    EXPECT_FALSE(log.Refused("10.0.0.9", 1500));
    EXPECT_TRUE(log.Refused("10.0.0.8", 1500));
    EXPECT_FALSE(log.Refused("10.0.0.9", 60999));
    EXPECT_TRUE(log.Refused("10.0.0.9", 61000));
    EXPECT_EQ(5u, log.Count());

    // A flood of different addresses neither grows the memory without bound nor silences
    // an address that comes back after its minute.
    for (int i = 0; i < 5000; ++i)
        log.Refused(("172.16." + std::to_string(i / 256) + "." + std::to_string(i % 256)).c_str(), 70000);
    EXPECT_TRUE(log.Refused("10.0.0.8", 200000));
}

TEST(AdmissionGate, RefusalsAreCountedSummedUpAndToldOncePerMinutePerAddress) {
    testing_support::MessageRecorder recorder;
    zamri::AdmissionGate gate("listen://9100");
    gate.SetAllowedSenders("10.0.0.0/8 bogus");
    EXPECT_EQ(
        recorder.ErrorLines(),
        std::vector<std::string>{
            "zamri: listen://9100: allowed senders: ignored what is not an IPv4 address or block: bogus"});
    EXPECT_TRUE(gate.Admits("10.1.2.3"));
    EXPECT_FALSE(gate.Admits("192.168.1.7"));
    EXPECT_FALSE(gate.Admits("192.168.1.7"));
    EXPECT_EQ(gate.RefusedSenders(), 2u);
    gate.NoteRefused("10.9.9.9");  // an exchange that failed: in the summary, not told
    zamri::AdmissionGate::Summary summary = gate.RefusalsSoFar();
    EXPECT_EQ(summary.count, 3u);
    EXPECT_STREQ(summary.lastPeer, "10.9.9.9");
    EXPECT_GT(summary.lastUtcMs, 0);
    // Each sender once, with the count at its latest refusal, so two refused between two
    // looks are both seen.
    ASSERT_EQ(summary.recentCount, 2);
    EXPECT_STREQ(summary.recent[0].peer, "192.168.1.7");
    EXPECT_EQ(summary.recent[0].count, 2u);
    EXPECT_STREQ(summary.recent[1].peer, "10.9.9.9");
    EXPECT_EQ(summary.recent[1].count, 3u);
    // A sweep keeps the newest senders only.
    for (int i = 0; i < 20; ++i)
        gate.NoteRefused(("172.16.0." + std::to_string(i)).c_str());
    summary = gate.RefusalsSoFar();
    ASSERT_EQ(summary.recentCount, zamri::AdmissionGate::kRecentPeers);
    for (const zamri::AdmissionGate::RecentRefusal& recent : summary.recent)
        EXPECT_GT(recent.count, 23u - zamri::AdmissionGate::kRecentPeers) << recent.peer;

    gate.NoteReplaced("10.0.0.5", 61500, "10.0.0.6", "all 16 connections were in use");
    gate.NoteTurnedAway("10.0.0.7", "all 16 connections are in use");
    gate.NoteTurnedAway("10.0.0.7", "all 16 connections are in use");
    EXPECT_EQ(gate.Replaced(), 1u);
    EXPECT_EQ(gate.TurnedAway(), 2u);
    EXPECT_EQ(
        recorder.ErrorLines(),
        (std::vector<std::string>{
            "zamri: listen://9100: allowed senders: ignored what is not an IPv4 address or block: bogus",
            "zamri: listen://9100: refused 192.168.1.7, not an allowed sender (1 refused so far)",
            "zamri: listen://9100: all 16 connections were in use; closed 10.0.0.5, silent for 61 s, for "
            "10.0.0.6 (1 so far)",
            "zamri: listen://9100: closed 10.0.0.7, all 16 connections are in use (1 so far)"}));
}

}  // namespace
