// What the language pack needs from the window system; one backend per platform.
#pragma once

namespace langpack {

// The directory of the running program, without a trailing separator, and the separator.
// Returns the length, 0 when it is unknown.
int ProgramDirectory(char* out, int size, char* separator);

// Sets the text of a dialog's control. 1 done, 0 not.
int SetControlText(void* dialog, int controlId, const char* text);

// Centres a window over its owner, or over the screen's work area when it has none.
int CenterWindow(void* window);

}  // namespace langpack
