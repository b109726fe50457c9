// The recorder's text-overlay library: the three calls the program makes. The recorder ships
// its own library with this interface; ours (built from ovtext.cpp) records every call.
#pragma once

#if defined(_WIN32)
#if defined(OVTEXT_BUILDING)
#define OVTEXT_API __declspec(dllexport)
#else
#define OVTEXT_API __declspec(dllimport)
#endif
#else
#define OVTEXT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opens an overlay session; the program always passes 0 and 1. Returns a handle, 0 when not open.
OVTEXT_API int OV_open(int a, int b);
// Shows one text line on a camera channel (0 to 31) with its attribute flags.
OVTEXT_API int OV_write(int handle, int channel, int flags, const char* text);
// Ends the session; the program passes its handle even when it is 0.
OVTEXT_API int OV_close(int handle);

#ifdef __cplusplus
}
#endif
