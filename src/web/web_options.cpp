#include "web/web_options.h"

#include <cstring>

#include "config/settings.h"

namespace zamri {

bool IsLoopbackAddress(const char* address) {
    return std::strncmp(address, "127.", 4) == 0 || std::strcmp(address, "::1") == 0;
}

WebOptions WebOptionsFrom(const Settings& settings) {
    WebOptions options;
    static_cast<WebSettings&>(options) = settings.web;
    options.recorderCodePage = UsableRecorderCodePage(settings.recorderCodePage);
    return options;
}

}  // namespace zamri
