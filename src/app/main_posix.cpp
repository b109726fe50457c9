// The Linux service: zamri [/tcp | --tcp] [--settings FILE]
#include <cstdio>

#include "app/service.h"
#include "app/service_options.h"

int main(int argc, char** argv) {
    zamri::PrepareServiceSignals();
    zamri::ServiceOptions options;
    if (!zamri::ParseServiceOptions(argc, argv, options)) {
        std::fprintf(stderr, "zamri: %s\n%s", options.error, zamri::ServiceUsage());
        return 2;
    }
    if (options.showHelp) {
        std::fputs(zamri::ServiceUsage(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("zamri %s\n", zamri::kProgramVersion);
        return 0;
    }
    return zamri::RunService(options);
}
