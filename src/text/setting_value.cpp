#include "text/setting_value.h"

namespace zamri {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ParseWholeNumber(std::string_view text, int low, int high, int* value) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 7)
        return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high)
        return false;
    *value = n;
    return true;
}

bool ParseClockMinutes(std::string_view text, int* minutes) {
    text = TrimBlanks(text);
    size_t colon = text.find(':');
    int hour = 0, minute = 0;
    if (colon == std::string_view::npos || colon < 1 || colon > 2 || text.size() - colon != 3 ||
        !ParseWholeNumber(text.substr(0, colon), 0, 23, &hour) ||
        !ParseWholeNumber(text.substr(colon + 1), 0, 59, &minute))
        return false;
    *minutes = hour * 60 + minute;
    return true;
}

bool SameSettingKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace zamri
