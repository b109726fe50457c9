// The Exceptions and Webhooks pages' working copies: what they accept, and a settings file taken
// through read -> edit -> write and read again by the program's own settings reader.
#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "receipt/receipt_rules.h"
#include "support/temp_dir.h"
#include "ui/exceptions_model.h"
#include "ui/webhooks_model.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

const char kRulesFile[] =
    "; store 12\r\n"
    "[Channel]\r\n1=1,COM3,9600,2,8,1,5,0,1,0\r\n"
    "[Options]\r\nStoreName=Main Street\r\nExceptionVoid=0\r\nExceptionRefundThreshold=50\r\n"
    "ExceptionRefundBanner=0\r\n\r\n"
    "[Rule 1]\r\nName=Big refund\r\nLine=REFUND {amount}\r\nMatch=amount >= 100\r\nNote=kept\r\n\r\n"
    "[Rule 4]\r\nName=Void then no sale\r\nFirst=void\r\nThen=no-sale\r\nWithin=60\r\n";

RuleEntry LineRule(int number, const char* name, const char* line) {
    RuleEntry rule;
    rule.number = number;
    rule.name = name;
    rule.line = line;
    return rule;
}

}  // namespace

TEST(ExceptionsModel, WritesOnlyWhatChangedAndTheProgramReadsIt) {
    TempDir dir;
    const std::string path = dir.File("zamri.ini");
    WriteFileBytes(path, kRulesFile);
    ExceptionsModel model;
    model.Read(path.c_str(), 1252);
    EXPECT_FALSE(model.kinds[0].on);
    EXPECT_EQ(model.kinds[1].threshold, "50.00");
    EXPECT_FALSE(model.kinds[2].hasThreshold);
    ASSERT_EQ(model.rules.size(), 2u);
    EXPECT_EQ(model.rules[1].Summary(), "void then no-sale within 60 s");
    EXPECT_EQ(model.Write(path.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(path), kRulesFile);

    model.kinds[0].on = true;
    model.kinds[1].threshold = "75";
    model.kinds[3].threshold = "0";  // the same amount as before, written otherwise
    RuleEntry edited = model.rules[0];
    edited.match.clear();
    edited.hours = "22:00-06:00";
    std::string message;
    ASSERT_EQ(model.CheckRule(edited, 0, &message), 1) << message;
    model.StoreRule(edited, 0);
    model.RemoveRule(1);
    RuleEntry added = LineRule(model.NewRuleNumber(), "Cash out", "PAID OUT {amount}");
    EXPECT_EQ(added.number, 5);  // past the removed [Rule 4]: a number never means two rules
    added.banner = false;
    ASSERT_EQ(model.CheckRule(added, -1, &message), 1) << message;
    model.StoreRule(added, -1);
    EXPECT_GT(model.Write(path.c_str()), 0);

    const std::string written = ReadFileBytes(path);
    EXPECT_EQ(written.find("[Rule 4]"), std::string::npos) << written;
    EXPECT_NE(written.find("; store 12\r\n[Channel]\r\n1=1,COM3,9600,2,8,1,5,0,1,0\r\n"), std::string::npos);
    EXPECT_NE(written.find("Note=kept\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("ExceptionRefundBanner=0\r\n"), std::string::npos);
    EXPECT_EQ(written.find("ExceptionDiscountThreshold"), std::string::npos) << written;
    std::shared_ptr<zamri::Settings> read = zamri::ReadSettings(path.c_str());
    const zamri::ExceptionRules& rules = *read->receipts.rules;
    EXPECT_TRUE(rules.Options().kinds[0].on);
    EXPECT_EQ(rules.Options().kinds[1].threshold, 7500);
    ASSERT_EQ(rules.Rules().size(), 2u);
    EXPECT_EQ(rules.Rules()[0].name, "Big refund");
    EXPECT_TRUE(rules.Rules()[0].conditions.empty());
    EXPECT_TRUE(rules.Rules()[0].hours.set);
    EXPECT_EQ(rules.Rules()[1].number, 5);
    EXPECT_FALSE(rules.Rules()[1].banner);
    EXPECT_EQ(read->alerts.options.storeName, "Main Street");
}

TEST(ExceptionsModel, RefusesWhatTheReceiptReaderWouldLeaveOut) {
    TempDir dir;
    const std::string path = dir.File("zamri.ini");
    WriteFileBytes(path, kRulesFile);
    ExceptionsModel model;
    model.Read(path.c_str(), 1252);
    std::string message;
    int kind = -1;
    model.kinds[3].threshold = "a lot";
    EXPECT_EQ(model.CheckThresholds(&message, &kind), 0);
    EXPECT_EQ(kind, 3);
    EXPECT_EQ(message.rfind("[Options] ExceptionDiscountThreshold: \"a lot\" is no amount", 0), 0u)
        << message;
    model.kinds[3].threshold = "-1";
    EXPECT_EQ(model.CheckThresholds(&message, &kind), 0);
    model.kinds[3].threshold = "12,50";
    EXPECT_EQ(model.CheckThresholds(&message, &kind), 1);

    struct Case {
        RuleEntry rule;
        int index;
        const char* says;
    };
    RuleEntry sequence = LineRule(5, "Refund then void", "");
    sequence.first = "refund";
    sequence.then = "Nothing such";
    sequence.within = "30";
    RuleEntry both = sequence;
    both.then = "void";
    both.line = "VOID";
    RuleEntry badMatch = LineRule(5, "Odd", "VOID");
    badMatch.match = "totl > 5";
    RuleEntry badHours = LineRule(5, "Night", "VOID");
    badHours.hours = "22:00-22:00";
    const Case cases[] = {
        {LineRule(5, "", "VOID"), -1, "[Rule 5] has no Name."},
        {LineRule(5, "Refund", "VOID"), -1, "[Rule 5] Name: \"Refund\" is the name of a built-in kind."},
        {LineRule(5, "big REFUND", "VOID"), -1, "[Rule 5] Name: \"big REFUND\" is the name of another rule."},
        {LineRule(5, "Nothing", ""), -1, "[Rule 5] needs Line, Match, or First and Then."},
        {badMatch, -1, "[Rule 5] Match: The condition \"totl > 5\" names no field"},
        {badHours, -1, "[Rule 5] Hours:"},
        {sequence, -1, "[Rule 5] Then: \"Nothing such\" is no built-in kind"},
        {both, -1, "[Rule 5] is a sequence (First, Then, Within) and cannot also have Line or Match."},
    };
    for (const Case& c : cases) {
        message.clear();
        EXPECT_EQ(model.CheckRule(c.rule, c.index, &message), 0) << c.says;
        EXPECT_EQ(message.rfind(c.says, 0), 0u) << message;
    }
    // A rule keeps its own name when edited; a sequence may build on a rule.
    RuleEntry same = model.rules[0];
    same.line = "REFUND * {amount}";
    EXPECT_EQ(model.CheckRule(same, 0, &message), 1) << message;
    sequence.then = "Big refund";
    EXPECT_EQ(model.CheckRule(sequence, -1, &message), 1) << message;
}

TEST(WebhooksModel, WritesOnlyWhatChangedAndTheProgramReadsIt) {
    const std::string file =
        "[Options]\r\nStoreName=Main Street\r\nDigestTime=07:00\r\nWebhookTimeout=20\r\n"
        "[Webhook 1]\r\nURL=https://alerts.example.org/a\r\nSecret=s1\r\nEvents=Exception,Digest\r\n"
        "CAFile=store-ca.pem\r\n"
        "[Webhook 3]\r\nURL=http://127.0.0.1:8080/b\r\nSecret=s3\r\n";
    TempDir dir;
    const std::string path = dir.File("zamri.ini");
    WriteFileBytes(path, file);
    WebhooksModel model;
    model.Read(path.c_str());
    ASSERT_EQ(model.hooks.size(), 2u);
    EXPECT_EQ(model.hooks[0].EventsText(), "exception, digest");
    EXPECT_EQ(model.hooks[1].EventsText(), "exception");
    EXPECT_EQ(model.NewHookNumber(), 2);
    EXPECT_EQ(model.Write(path.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(path), file);

    model.digestTime = "";
    model.hooks[0].secret = "new secret";
    model.RemoveHook(1);
    HookEntry added;
    added.number = model.NewHookNumber();
    added.url = "https://hooks.example.net/c";
    added.secret = "s2";
    added.events = (1u << static_cast<int>(zamri::AlertEvent::kHealth)) |
                   (1u << static_cast<int>(zamri::AlertEvent::kTransaction));
    std::string message;
    ASSERT_EQ(WebhooksModel::CheckHook(added, &message), 0) << message;
    model.StoreHook(added, -1);
    EXPECT_GT(model.Write(path.c_str()), 0);

    const std::string written = ReadFileBytes(path);
    EXPECT_NE(written.find("Events=Exception,Digest\r\nCAFile=store-ca.pem\r\n"), std::string::npos)
        << written;
    EXPECT_EQ(written.find("[Webhook 3]"), std::string::npos) << written;
    std::shared_ptr<zamri::Settings> read = zamri::ReadSettings(path.c_str());
    EXPECT_TRUE(read->problems.empty()) << read->problems.front().text;
    EXPECT_FALSE(read->alerts.options.digestTime.on);
    EXPECT_EQ(read->alerts.options.webhookTimeoutSeconds, 20);
    ASSERT_EQ(read->alerts.hooks.size(), 2u);
    EXPECT_EQ(read->alerts.hooks[0].secret, "new secret");
    EXPECT_EQ(read->alerts.hooks[0].caFile, "store-ca.pem");
    EXPECT_EQ(read->alerts.hooks[1].number, 2);
    EXPECT_TRUE(read->alerts.hooks[1].Takes(zamri::AlertEvent::kHealth));
    EXPECT_FALSE(read->alerts.hooks[1].Takes(zamri::AlertEvent::kException));
}

TEST(WebhooksModel, RefusesWhatTheStartUpCheckWouldLeaveOut) {
    std::string message;
    EXPECT_EQ(WebhooksModel::CheckDigestTime("", &message), 1);
    EXPECT_EQ(WebhooksModel::CheckDigestTime(" 7:05 ", &message), 1);
    EXPECT_EQ(WebhooksModel::CheckDigestTime("24:00", &message), 0);
    EXPECT_EQ(message, "\"24:00\" is no local time from 00:00 to 23:59; no digest is made.");

    HookEntry hook;
    hook.number = 2;
    hook.secret = "s";
    EXPECT_EQ(WebhooksModel::CheckHook(hook, &message), 1);
    hook.url = "ftp://files.example.org/";
    message.clear();
    EXPECT_EQ(WebhooksModel::CheckHook(hook, &message), 3);
    EXPECT_EQ(message.rfind("[Webhook 2] URL: ", 0), 0u) << message;
    hook.url = "https://alerts.example.org/z";
    hook.secret = "  ";
    EXPECT_EQ(WebhooksModel::CheckHook(hook, &message), 3);
    EXPECT_EQ(message, "[Webhook 2] has no Secret to sign its requests with; the hook is left out.");
    hook.secret = "s";
    hook.events = 0;
    EXPECT_EQ(WebhooksModel::CheckHook(hook, &message), 2);
    hook.events = 1u << static_cast<int>(zamri::AlertEvent::kDigest);
    EXPECT_EQ(WebhooksModel::CheckHook(hook, &message), 0);

    WebhooksModel full;
    for (int n = 1; n <= zamri::kMaxWebhooks; ++n) {
        hook.number = n;
        full.StoreHook(hook, -1);
    }
    EXPECT_EQ(full.NewHookNumber(), 0);
}
