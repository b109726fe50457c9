#include "web/web_rules.h"

#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"
#include "config/settings.h"
#include "receipt/receipt_rules.h"
#include "receipt/receipt_settings.h"
#include "web/web_text.h"

namespace zamri {

namespace {

using Field = Condition::Field;

const char* FieldName(Field field) {
    static const char* const kNames[] = {"total",  "subtotal", "change", "amount",  "voids",
                                         "lines",  "tenders",  "tender", "cashier", "register",
                                         "number", "drawer",   "kind"};
    return kNames[static_cast<int>(field)];
}

const char* OpText(Condition::Op op) {
    static const char* const kOps[] = {"=", "!=", "<", "<=", ">", ">="};
    return kOps[static_cast<int>(op)];
}

bool IsAmount(Field field) {
    return field == Field::Total || field == Field::Subtotal || field == Field::Change ||
           field == Field::Amount;
}

std::string ConditionText(const Condition& c) {
    std::string value;
    if (IsAmount(c.field)) {
        value = MoneyText(c.number);
    } else if (c.field == Field::Drawer) {
        value = c.number != 0 ? "yes" : "no";
    } else if (c.field == Field::Voids || c.field == Field::Lines || c.field == Field::Tenders) {
        value = std::to_string(c.number);
    } else {
        for (const std::string& text : c.texts)
            value += (value.empty() ? "" : ", ") + text;
    }
    return std::string(FieldName(c.field)) + " " + OpText(c.op) + " " + value;
}

std::string Minutes(int minute) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minute / 60 % 24, minute % 60);
    return text;
}

const char* TypeName(Rule::Type type) {
    switch (type) {
        case Rule::Type::Line:
            return "line";
        case Rule::Type::Receipt:
            return "receipt";
        case Rule::Type::Sequence:
            break;
    }
    return "sequence";
}

bool IsReceiptProblem(const SettingsProblem& problem) {
    if (problem.section == "Rule" || problem.section.rfind("Template ", 0) == 0)
        return true;
    if (problem.section.rfind("Channel", 0) == 0)
        return problem.key == "Template";
    return problem.section == "Options" && (problem.text.rfind("[Options] Exception", 0) == 0 ||
                                            problem.text.rfind("[Options] DrawerGrace", 0) == 0);
}

}  // namespace

std::string RulesInForceJson(const Settings& settings) {
    const int codePage = UsableRecorderCodePage(settings.recorderCodePage);
    // What the settings file holds is in the recorder's code page, as the lines arrive.
    auto text = [codePage](const std::string& windows) {
        std::string utf8;
        AppendWindowsAsUtf8(codePage, windows.data(), windows.size(), &utf8);
        return JsonString(utf8);
    };
    const ReceiptSettings& receipts = settings.receipts;
    ExceptionRules builtIn;
    const ExceptionRules& rules = receipts.rules != nullptr ? *receipts.rules : builtIn;
    const ExceptionOptions& options = rules.Options();

    std::string out = "{\"kinds\":[";
    for (int i = 0; i < kExceptionKindCount; ++i) {
        const KindOptions& kind = options.kinds[i];
        ExceptionKind which = static_cast<ExceptionKind>(i);
        out += i == 0 ? "{" : ",{";
        out += "\"kind\":" + JsonString(ExceptionKindName(which));
        out += kind.on ? ",\"on\":true" : ",\"on\":false";
        // A drawer opened without a sale has no amount to compare.
        out += ",\"threshold\":";
        out += which == ExceptionKind::NoSale ? "null" : JsonString(MoneyText(kind.threshold));
        out += kind.banner ? ",\"banner\":true}" : ",\"banner\":false}";
    }
    out += "],\"drawerGrace\":" + std::to_string(options.drawerGraceSeconds);
    out += ",\"channels\":[";
    bool first = true;
    for (int number = 1; number <= kChannelCount; ++number) {
        int choice = receipts.templateChoice[number - 1];
        if (choice == kNoTemplate)
            continue;
        std::string name = "built-in";
        if (choice > 0 && static_cast<size_t>(choice) < receipts.templates.size() &&
            receipts.templates[choice] != nullptr) {
            name = "Template " + std::to_string(choice);
            if (!receipts.templates[choice]->Name().empty())
                name += ": " + receipts.templates[choice]->Name();
        }
        out += first ? "{" : ",{";
        first = false;
        out += "\"channel\":" + std::to_string(number) + ",\"template\":" + text(name) + "}";
    }
    out += "],\"rules\":[";
    for (size_t i = 0; i < rules.Rules().size(); ++i) {
        const Rule& rule = rules.Rules()[i];
        std::string match;
        for (const Condition& condition : rule.conditions)
            match += (match.empty() ? "" : " and ") + ConditionText(condition);
        out += i == 0 ? "{" : ",{";
        out += "\"number\":" + std::to_string(rule.number);
        out += ",\"name\":" + text(rule.name);
        out += ",\"type\":" + JsonString(TypeName(rule.type));
        out += ",\"line\":" + text(rule.hasPattern ? rule.pattern.Text() : "");
        out += ",\"match\":" + text(match);
        out += ",\"hours\":" + JsonString(rule.hours.set ? Minutes(rule.hours.startMinute) + "-" +
                                                               Minutes(rule.hours.endMinute)
                                                         : "");
        bool sequence = rule.type == Rule::Type::Sequence;
        out += ",\"first\":" + text(sequence ? rules.EventName(rule.first) : "");
        out += ",\"then\":" + text(sequence ? rules.EventName(rule.then) : "");
        out += ",\"within\":" + std::to_string(sequence ? rule.withinMilliseconds / 1000 : 0);
        out += rule.banner ? ",\"banner\":true}" : ",\"banner\":false}";
    }
    out += "],\"leftOut\":[";
    first = true;
    for (const SettingsProblem& problem : settings.problems) {
        if (!IsReceiptProblem(problem))
            continue;
        out += first ? "{" : ",{";
        first = false;
        out += "\"section\":" + text(problem.section) + ",\"text\":" + text(problem.text) + "}";
    }
    out += "]}";
    return out;
}

}  // namespace zamri
