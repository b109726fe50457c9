#include "serial/byte_source.h"

#include "serial/hebrew_shift.h"

int MemoryByteSource::Next(void* context) {
    MemoryByteSource* self = static_cast<MemoryByteSource*>(context);
    if (self->position >= self->size)
        return kSourceStopped;
    return ApplyHebrewShift(self->data[self->position++], self->hebrew);
}
