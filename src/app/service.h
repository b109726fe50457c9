// The Linux service front: the program's start-up and shutdown with a console instead of the
// tray window.
#pragma once

#include "app/service_options.h"

namespace zamri {

// Blocks SIGINT and SIGTERM in the calling thread (and so in every thread started after it),
// so that only RunService's wait receives them. Call first thing in main.
void PrepareServiceSignals();

// Runs the service until SIGINT or SIGTERM; returns the process exit code: 0 after an orderly
// stop or a silent end, 1 when another instance holds the settings file.
int RunService(const ServiceOptions& options);

}  // namespace zamri
