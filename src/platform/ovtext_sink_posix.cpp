#include "platform/ovtext_sink.h"

namespace zamri {

FILE* OpenDefaultOverlaySink(bool* owned) {
    *owned = false;
    return stdout;
}

}  // namespace zamri
