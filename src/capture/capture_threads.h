// What the capture threads report about themselves beyond the channel table.
#pragma once

// How many capture threads a stopper has given up waiting for since the process started (each
// then finished on its own, apart from its record). A stop that is honoured in time leaves it
// unchanged.
int AbandonedCaptureThreads();
