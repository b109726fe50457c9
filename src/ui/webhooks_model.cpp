#include "ui/webhooks_model.h"

#include <algorithm>

#include "platform/profile.h"
#include "text/setting_value.h"

namespace {

const char kOptions[] = "Options";

std::string HookSection(int number) {
    return "Webhook " + std::to_string(number);
}

std::string Value(const char* path, const std::string& section, const char* key) {
    std::string value;
    zamri::ProfileReadValue(path, section.c_str(), key, &value);
    return value;
}

}  // namespace

std::string HookEntry::EventsText() const {
    std::string text;
    for (int e = 0; e < zamri::kAlertEventCount; ++e) {
        if ((events >> e) & 1u)
            text += (text.empty() ? "" : ", ") +
                    std::string(zamri::AlertEventName(static_cast<zamri::AlertEvent>(e)));
    }
    return text;
}

void WebhooksModel::Read(const char* path) {
    readStoreName = Value(path, kOptions, "StoreName");
    readDigestTime = Value(path, kOptions, "DigestTime");
    readHooks.clear();
    for (int number = 1; number <= zamri::kMaxWebhooks; ++number) {
        const std::string section = HookSection(number);
        HookEntry hook;
        hook.number = number;
        hook.url = Value(path, section, "URL");
        if (zamri::TrimBlanks(hook.url).empty())
            continue;  // no hook, as the program reads it
        hook.secret = Value(path, section, "Secret");
        std::string events = Value(path, section, "Events");
        std::string ignored;
        zamri::ParseAlertEvents(events, &hook.events, &ignored);
        readHooks.push_back(hook);
    }
    storeName = readStoreName;
    digestTime = readDigestTime;
    hooks = readHooks;
}

int WebhooksModel::CheckDigestTime(const std::string& text, std::string* message) {
    zamri::DigestTime ignored;
    return zamri::ParseDigestTime(text, &ignored, message);
}

int WebhooksModel::CheckHook(const HookEntry& hook, std::string* message) {
    if (zamri::TrimBlanks(hook.url).empty())
        return 1;
    if ((hook.events & ((1u << zamri::kAlertEventCount) - 1)) == 0)
        return 2;
    zamri::WebhookSectionText text;
    text.url = hook.url;
    text.secret = hook.secret;
    text.events = hook.EventsText();
    zamri::WebhookConfig ignored;
    std::vector<std::string> errors;
    if (zamri::ParseWebhookSection(hook.number, text, &ignored, &errors) == 0) {
        *message = errors.empty() ? std::string() : errors.front();
        return 3;
    }
    return 0;
}

int WebhooksModel::NewHookNumber() const {
    for (int number = 1; number <= zamri::kMaxWebhooks; ++number) {
        bool taken =
            std::any_of(hooks.begin(), hooks.end(), [&](const HookEntry& h) { return h.number == number; });
        if (!taken)
            return number;
    }
    return 0;
}

void WebhooksModel::StoreHook(const HookEntry& hook, int index) {
    if (index >= 0 && static_cast<size_t>(index) < hooks.size()) {
        hooks[static_cast<size_t>(index)] = hook;
        return;
    }
    auto at =
        std::find_if(hooks.begin(), hooks.end(), [&](const HookEntry& h) { return h.number > hook.number; });
    hooks.insert(at, hook);
}

void WebhooksModel::RemoveHook(int index) {
    if (index >= 0 && static_cast<size_t>(index) < hooks.size())
        hooks.erase(hooks.begin() + index);
}

int WebhooksModel::Write(const char* path) const {
    int writes = 0;
    bool failed = false;
    auto put = [&](const std::string& section, const char* key, const std::string& value) {
        failed = zamri::ProfileWriteText(path, section.c_str(), key, value.c_str()) == 0 || failed;
        ++writes;
    };
    if (storeName != readStoreName)
        put(kOptions, "StoreName", storeName);
    if (digestTime != readDigestTime)
        put(kOptions, "DigestTime", digestTime);
    auto readIndex = [this](int number) {
        for (size_t i = 0; i < readHooks.size(); ++i)
            if (readHooks[i].number == number)
                return static_cast<int>(i);
        return -1;
    };
    for (const HookEntry& old : readHooks) {
        bool kept = std::any_of(hooks.begin(), hooks.end(),
                                [&](const HookEntry& h) { return h.number == old.number; });
        if (!kept) {
            failed = zamri::ProfileRemove(path, HookSection(old.number).c_str(), nullptr) == 0 || failed;
            ++writes;
        }
    }
    for (const HookEntry& hook : hooks) {
        const std::string section = HookSection(hook.number);
        int i = readIndex(hook.number);
        const HookEntry* old = i >= 0 ? &readHooks[static_cast<size_t>(i)] : nullptr;
        if (old == nullptr || old->url != hook.url)
            put(section, "URL", hook.url);
        if (old == nullptr || old->secret != hook.secret)
            put(section, "Secret", hook.secret);
        // An unchanged choice keeps the file's own words ("Exception,Digest", or none at all).
        if (old == nullptr || old->events != hook.events)
            put(section, "Events", hook.EventsText());
    }
    return failed ? -1 : writes;
}
