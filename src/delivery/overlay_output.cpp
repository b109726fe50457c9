#include "delivery/overlay_output.h"

#include "platform/ovtext.h"

OverlayOutput::OverlayOutput() {
    overlayHandle = OV_open(0, 1);
}

OverlayOutput::~OverlayOutput() {
    if (attached)
        OV_close(overlayHandle.load());
}

void OverlayOutput::WriteOverlayLine(int channel, int flags, const char* text) {
    if (!attached)
        return;
    // The test outside the lock is only a fast path; the decision to open is made again under
    // the lock, so at most one handle is ever stored.
    if (overlayHandle.load() == 0) {
        std::lock_guard<std::mutex> guard(overlayLock);
        if (overlayHandle.load() == 0)
            overlayHandle = OV_open(0, 1);
    }
    if (overlayHandle.load() != 0) {
        std::lock_guard<std::mutex> guard(overlayLock);
        OV_write(overlayHandle.load(), channel, flags, text != nullptr ? text : "");
    }
}
