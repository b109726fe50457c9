#include "ui/exceptions_model.h"

#include <algorithm>

#include "platform/profile.h"
#include "receipt/receipt_settings.h"
#include "text/setting_value.h"

namespace {

using zamri::ExceptionKind;
using zamri::kExceptionKindCount;

const char kOptions[] = "Options";

std::string RuleSection(int number) {
    return "Rule " + std::to_string(number);
}

// The rule's keys in the order the reference lists them, with the entry's field of each.
struct RuleKey {
    const char* key;
    std::string RuleEntry::*field;
};
const RuleKey kRuleKeys[] = {{"Name", &RuleEntry::name},    {"Line", &RuleEntry::line},
                             {"Match", &RuleEntry::match},  {"Hours", &RuleEntry::hours},
                             {"First", &RuleEntry::first},  {"Then", &RuleEntry::then},
                             {"Within", &RuleEntry::within}};

bool SameRule(const RuleEntry& a, const RuleEntry& b) {
    for (const RuleKey& k : kRuleKeys)
        if (a.*k.field != b.*k.field)
            return false;
    return a.banner == b.banner;
}

// The threshold as the reader takes it; false when it is no amount of 0 or more.
bool ThresholdValue(const std::string& text, zamri::Money* value) {
    return zamri::ParseMoney(text, value) && *value >= 0;
}

}  // namespace

zamri::SettingSection RuleEntry::Section() const {
    zamri::SettingSection section;
    section.number = number;
    for (const RuleKey& k : kRuleKeys)
        if (!(this->*k.field).empty())
            section.keys.push_back({k.key, this->*k.field});
    if (!banner)
        section.keys.push_back({"Banner", "0"});
    return section;
}

std::string RuleEntry::Summary() const {
    std::string text;
    if (!first.empty() || !then.empty()) {
        text = first + " then " + then + " within " + within + " s";
    } else {
        if (!line.empty())
            text = "Line: " + line;
        if (!match.empty())
            text += (text.empty() ? "Match: " : "; Match: ") + match;
    }
    if (!hours.empty())
        text += ", " + hours;
    return text;
}

void ExceptionsModel::Read(const char* path, int codePage) {
    codePage_ = codePage;
    std::vector<zamri::SettingPair> options;
    for (auto& entry : zamri::ProfileReadSection(path, kOptions))
        options.push_back({entry.first, entry.second});
    zamri::ExceptionOptions read;
    zamri::ParseExceptionOptions(options, &read, nullptr);
    for (int k = 0; k < kExceptionKindCount; ++k) {
        ExceptionKindRow& row = readKinds[k];
        zamri::ExceptionKindKey(static_cast<ExceptionKind>(k), &row.hasThreshold);
        row.on = read.kinds[k].on;
        row.threshold = row.hasThreshold ? zamri::MoneyText(read.kinds[k].threshold) : "";
        kinds[k] = row;
    }
    readRules.clear();
    for (int number = 1; number <= zamri::kMaxRules; ++number) {
        auto entries = zamri::ProfileReadSection(path, RuleSection(number).c_str());
        if (entries.empty())
            continue;
        RuleEntry rule;
        rule.number = number;
        bool known = false;
        for (auto& entry : entries) {
            for (const RuleKey& k : kRuleKeys) {
                if (zamri::SameSettingKey(entry.first, k.key) && (rule.*k.field).empty()) {
                    rule.*k.field = entry.second;
                    known = true;
                }
            }
            if (zamri::SameSettingKey(entry.first, "Banner")) {
                rule.banner = zamri::TrimBlanks(entry.second) != "0";
                known = true;
            }
        }
        if (known)
            readRules.push_back(rule);
    }
    rules = readRules;
}

int ExceptionsModel::CheckThresholds(std::string* message, int* kind) const {
    for (int k = 0; k < kExceptionKindCount; ++k) {
        if (!kinds[k].hasThreshold)
            continue;
        std::string key = std::string(zamri::ExceptionKindKey(static_cast<ExceptionKind>(k))) + "Threshold";
        zamri::ExceptionOptions ignored;
        std::vector<std::string> errors;
        if (zamri::ParseExceptionOptions({{key, kinds[k].threshold}}, &ignored, &errors) > 0) {
            *message = errors.front();
            *kind = k;
            return 0;
        }
    }
    return 1;
}

int ExceptionsModel::CheckRule(const RuleEntry& rule, int index, std::string* message) const {
    std::vector<zamri::SettingSection> sections;
    for (size_t i = 0; i < rules.size(); ++i)
        sections.push_back(static_cast<int>(i) == index ? rule.Section() : rules[i].Section());
    if (index < 0 || static_cast<size_t>(index) >= rules.size())
        sections.push_back(rule.Section());
    std::vector<std::string> errors;
    zamri::ExceptionRules::Compile(zamri::ExceptionOptions(), sections, codePage_, &errors);
    // Only this rule's own sentences count here: another rule's trouble is that rule's to mend.
    const std::string own = "[" + RuleSection(rule.number) + "] ";
    for (const std::string& error : errors) {
        if (error.compare(0, own.size(), own) == 0) {
            *message = error;
            return 0;
        }
    }
    return 1;
}

int ExceptionsModel::NewRuleNumber() const {
    int highest = 0;
    for (const auto* list : {&rules, &readRules})
        for (const RuleEntry& rule : *list)
            highest = std::max(highest, rule.number);
    if (highest < zamri::kMaxRules)
        return highest + 1;
    for (int number = 1; number <= zamri::kMaxRules; ++number) {
        bool taken =
            std::any_of(rules.begin(), rules.end(), [&](const RuleEntry& r) { return r.number == number; });
        if (!taken)
            return number;
    }
    return 0;
}

void ExceptionsModel::StoreRule(const RuleEntry& rule, int index) {
    if (index >= 0 && static_cast<size_t>(index) < rules.size()) {
        rules[static_cast<size_t>(index)] = rule;
        return;
    }
    auto at =
        std::find_if(rules.begin(), rules.end(), [&](const RuleEntry& r) { return r.number > rule.number; });
    rules.insert(at, rule);
}

void ExceptionsModel::RemoveRule(int index) {
    if (index >= 0 && static_cast<size_t>(index) < rules.size())
        rules.erase(rules.begin() + index);
}

int ExceptionsModel::Write(const char* path) const {
    int writes = 0;
    bool failed = false;
    auto put = [&](const std::string& section, const std::string& key, const std::string& value) {
        failed = zamri::ProfileWriteText(path, section.c_str(), key.c_str(), value.c_str()) == 0 || failed;
        ++writes;
    };
    auto remove = [&](const std::string& section, const char* key) {
        failed = zamri::ProfileRemove(path, section.c_str(), key) == 0 || failed;
        ++writes;
    };
    for (int k = 0; k < kExceptionKindCount; ++k) {
        const std::string base = zamri::ExceptionKindKey(static_cast<ExceptionKind>(k));
        if (kinds[k].on != readKinds[k].on)
            put(kOptions, base, kinds[k].on ? "1" : "0");
        zamri::Money now = 0, before = 0;
        if (kinds[k].hasThreshold && ThresholdValue(kinds[k].threshold, &now) &&
            (!ThresholdValue(readKinds[k].threshold, &before) || now != before))
            put(kOptions, base + "Threshold", zamri::MoneyText(now));
    }
    auto current = [this](int number) -> const RuleEntry* {
        for (const RuleEntry& r : rules)
            if (r.number == number)
                return &r;
        return nullptr;
    };
    for (const RuleEntry& old : readRules)
        if (current(old.number) == nullptr)
            remove(RuleSection(old.number), nullptr);
    for (const RuleEntry& rule : rules) {
        const RuleEntry* old = nullptr;
        for (const RuleEntry& r : readRules)
            if (r.number == rule.number)
                old = &r;
        if (old != nullptr && SameRule(*old, rule))
            continue;
        const std::string section = RuleSection(rule.number);
        for (const RuleKey& k : kRuleKeys) {
            const std::string& value = rule.*k.field;
            if (old != nullptr && old->*k.field == value)
                continue;
            if (value.empty()) {
                if (old != nullptr)
                    remove(section, k.key);
            } else {
                put(section, k.key, value);
            }
        }
        if (old != nullptr ? old->banner != rule.banner : !rule.banner)
            put(section, "Banner", rule.banner ? "1" : "0");
    }
    return failed ? -1 : writes;
}
