// The program's one language pack, constructed with the short name "zamri" before the entry
// runs and destroyed after it has returned.
#pragma once

#include "platform/langpack.h"

extern LangPack langPack;
