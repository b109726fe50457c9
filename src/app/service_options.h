// The Linux service's command line.
#pragma once

#include "platform/paths.h"
#include "zamri_version.h"

namespace zamri {

struct ServiceOptions {
    int mode = 0;                  // 1 TCP ("/tcp" in any case, or "--tcp"), 0 serial
    char settings[kMaxPath] = {};  // empty: "zamri.ini" beside the executable
    int showHelp = 0;
    int showVersion = 0;
    char error[200] = {};  // why parsing failed
};

// Fills options from argv[1..argc-1]. Returns 1, or 0 with the reason in options.error.
int ParseServiceOptions(int argc, const char* const* argv, ServiceOptions& options);

// The --help text.
const char* ServiceUsage();

constexpr const char kProgramVersion[] = ZAMRI_VERSION;

}  // namespace zamri
