// zamri-settings-doc: writes the settings reference (docs/settings.md) from the program's table
// of keys, so that the two cannot drift apart; a test compares them.
//
//   zamri-settings-doc > docs/settings.md
#include <cstdio>
#include <string>

#include "config/settings_keys.h"

int main(int argc, char** argv) {
    if (argc > 1) {
        std::fputs("usage: zamri-settings-doc > docs/settings.md\n", stderr);
        return 2;
    }
    std::string reference = zamri::SettingsReference();
    return std::fwrite(reference.data(), 1, reference.size(), stdout) == reference.size() ? 0 : 1;
}
