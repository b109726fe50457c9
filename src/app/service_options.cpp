#include "app/service_options.h"

#include <cstdio>
#include <cstring>

#include "app/command_line.h"

namespace zamri {

namespace {

int Fail(ServiceOptions& options, const char* format, const char* argument) {
    std::snprintf(options.error, sizeof options.error, format, argument);
    return 0;
}

int TakeSettings(ServiceOptions& options, const char* path) {
    if (path == nullptr || path[0] == 0)
        return Fail(options, "%s needs a file name", "--settings");
    if (std::strlen(path) >= sizeof options.settings)
        return Fail(options, "settings path too long: %s", path);
    std::snprintf(options.settings, sizeof options.settings, "%s", path);
    return 1;
}

}  // namespace

int ParseServiceOptions(int argc, const char* const* argv, ServiceOptions& options) {
    const char kSettingsEq[] = "--settings=";
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (CommandLineIs(arg, "/tcp") || std::strcmp(arg, "--tcp") == 0) {
            options.mode = 1;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.showHelp = 1;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.showVersion = 1;
        } else if (std::strcmp(arg, "--settings") == 0) {
            if (i + 1 >= argc)
                return Fail(options, "%s needs a file name", arg);
            if (!TakeSettings(options, argv[++i]))
                return 0;
        } else if (std::strncmp(arg, kSettingsEq, sizeof kSettingsEq - 1) == 0) {
            if (!TakeSettings(options, arg + sizeof kSettingsEq - 1))
                return 0;
        } else {
            return Fail(options, "unknown argument: %s", arg);
        }
    }
    return 1;
}

const char* ServiceUsage() {
    return "Usage: zamri [/tcp | --tcp] [--settings FILE]\n"
           "Captures receipt printer lines and hands them to the text-overlay library.\n"
           "\n"
           "  /tcp, --tcp        TCP mode: listen on the settings' port (default 10000)\n"
           "                     instead of reading the serial channels\n"
           "  --settings FILE    settings file (default: zamri.ini beside the program)\n"
           "  --help             this text\n"
           "  --version          the program's version\n"
           "\n"
           "Runs until SIGINT (Ctrl+C) or SIGTERM. One instance per settings file.\n"
           "Errors are written to standard error; the overlay library records each line\n"
           "(the substitute library prints them, or appends them to the file in OVTEXT_LOG).\n";
}

}  // namespace zamri
