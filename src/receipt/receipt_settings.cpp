#include "receipt/receipt_settings.h"
#include "text/setting_value.h"

#include <cstring>

namespace zamri {

namespace {

struct KindKeys {
    const char* base;  // "ExceptionVoid"
    bool threshold;
};
const KindKeys kKindKeys[kExceptionKindCount] = {
    {"ExceptionVoid", true},     {"ExceptionRefund", true},        {"ExceptionNoSale", false},
    {"ExceptionDiscount", true}, {"ExceptionPriceOverride", true}, {"ExceptionCancel", true},
};

}  // namespace

const char* ExceptionKindKey(ExceptionKind kind, bool* hasThreshold) {
    const KindKeys& keys = kKindKeys[static_cast<int>(kind)];
    if (hasThreshold != nullptr)
        *hasThreshold = keys.threshold;
    return keys.base;
}

int ParseTemplateChoice(std::string_view value, int* choice, std::string* error) {
    std::string_view v = TrimBlanks(value);
    *choice = kBuiltinTemplate;
    if (v.empty() || SameSettingKey(v, "builtin"))
        return 1;
    if (SameSettingKey(v, "none")) {
        *choice = kNoTemplate;
        return 1;
    }
    int n = 0;
    bool digits = v.size() <= 2;
    for (char c : v) {
        if (c < '0' || c > '9')
            digits = false;
        else
            n = n * 10 + (c - '0');
    }
    if (!digits || n < 1 || n > kMaxTemplates) {
        *error = "Template: \"" + std::string(value) +
                 "\" is neither builtin, none nor a template's number from 1 to 32; the built-in template is "
                 "used.";
        return 0;
    }
    *choice = n;
    return 1;
}

int ParseExceptionOptions(const std::vector<SettingPair>& options, ExceptionOptions* out,
                          std::vector<std::string>* errors) {
    *out = ExceptionOptions();
    int problems = 0;
    auto report = [&](const std::string& key, const std::string& value, const char* what) {
        ++problems;
        if (errors != nullptr)
            errors->push_back("[Options] " + key + ": \"" + value + "\" " + what);
    };
    auto flag = [&](const SettingPair& pair, bool* target) {
        std::string_view v = TrimBlanks(pair.value);
        if (v == "1" || v == "0")
            *target = v == "1";
        else
            report(pair.key, pair.value, "is neither 1 nor 0; the default (1) is used.");
    };
    for (const SettingPair& pair : options) {
        for (int k = 0; k < kExceptionKindCount; ++k) {
            std::string base = kKindKeys[k].base;
            KindOptions& kind = out->kinds[k];
            if (SameSettingKey(pair.key, base)) {
                flag(pair, &kind.on);
            } else if (SameSettingKey(pair.key, base + "Banner")) {
                flag(pair, &kind.banner);
            } else if (kKindKeys[k].threshold && SameSettingKey(pair.key, base + "Threshold")) {
                Money threshold = 0;
                if (ParseMoney(pair.value, &threshold) && threshold >= 0)
                    kind.threshold = threshold;
                else
                    report(pair.key, pair.value, "is no amount of 0 or more, like 5 or 49.90; 0 is used.");
            }
        }
        if (SameSettingKey(pair.key, "DrawerGrace")) {
            std::string_view v = TrimBlanks(pair.value);
            int seconds = 0;
            bool ok = !v.empty() && v.size() <= 2;
            for (char c : v) {
                if (c < '0' || c > '9')
                    ok = false;
                else
                    seconds = seconds * 10 + (c - '0');
            }
            if (ok && seconds <= kMaxDrawerGraceSeconds)
                out->drawerGraceSeconds = seconds;
            else
                report(pair.key, pair.value, "is no number of seconds from 0 to 60; 3 is used.");
        }
    }
    return problems;
}

const std::vector<ReceiptOptionKey>& ReceiptOptionKeys() {
    static const std::vector<ReceiptOptionKey> keys = [] {
        static const char* const kHelp[kExceptionKindCount] = {
            "voided lines",
            "refunded lines and refund receipts",
            "no-sale texts and drawers opened without a sale",
            "discount lines",
            "price overrides",
            "cancelled transactions"};
        static std::string texts[kExceptionKindCount][6];
        std::vector<ReceiptOptionKey> list;
        for (int k = 0; k < kExceptionKindCount; ++k) {
            std::string base = kKindKeys[k].base;
            texts[k][0] = base;
            texts[k][1] = std::string("1 reports ") + kHelp[k] + " as exceptions, 0 does not";
            texts[k][2] = base + "Threshold";
            texts[k][3] = std::string("the smallest amount of ") + kHelp[k] + " that counts (0: every one)";
            texts[k][4] = base + "Banner";
            texts[k][5] =
                std::string("1 adds a banner line for ") + kHelp[k] + " known only at the receipt's end";
            list.push_back({texts[k][0].c_str(), "1", texts[k][1].c_str()});
            if (kKindKeys[k].threshold)
                list.push_back({texts[k][2].c_str(), "0", texts[k][3].c_str()});
            list.push_back({texts[k][4].c_str(), "1", texts[k][5].c_str()});
        }
        list.push_back(
            {"DrawerGrace", "3",
             "seconds a drawer may open after a receipt's cut, or before its first line, and still "
             "belong to it (0 to 60)"});
        return list;
    }();
    return keys;
}

}  // namespace zamri
