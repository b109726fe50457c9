#include "platform/language.h"

LangPack langPack("zamri");
