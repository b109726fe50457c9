#include "app/language.h"

LangPack langPack("zamri");
