// The language pack: every text the user sees, the localized ids of the icons, menu and
// property pages, and two dialog chores. The recorder's installations may ship their own
// library with this interface; ours (the "langpack" library) carries the English texts built
// in and reads a language file beside the program that replaces them section by section.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(LANGPACK_BUILDING)
#define LANGPACK_API __declspec(dllexport)
#else
#define LANGPACK_API __declspec(dllimport)
#endif
#else
#define LANGPACK_API __attribute__((visibility("default")))
#endif

// One control of a dialog whose text the language pack sets: key and section name the text;
// key (and then section) is null for a control whose text stays as the template has it.
struct DlgItemShape {
    int32_t controlId;
    int32_t shape;
    const char* key;
    const char* section;
};

class LANGPACK_API LangPack {
  public:
    // Loads the built-in English texts, then the language file "<shortName>.lng" beside the
    // program when there is one.
    explicit LangPack(const char* shortName);
    ~LangPack();
    LangPack(const LangPack&) = delete;
    LangPack& operator=(const LangPack&) = delete;

    // Copies the text of key in section (null: the general section) into buffer, at most
    // size - 1 characters, always terminated. Returns buffer, or null when the key is missing
    // (buffer then holds an empty text).
    char* LoadText(char* buffer, int size, const char* key, const char* section);
    // The text itself, owned by the language pack and valid while it lives; never null (an
    // empty text when the key is missing).
    const char* LoadText(const char* key, const char* section);

    // The id to load instead of a resource id from the program's own resources.
    int ResourceId(int id);

    // Puts the text of every entry with a key into the control of that id.
    void ShapeDialogItems(void* dialog, const DlgItemShape* items, int count);

    // Reads a language file over the current texts: every section the file contains (the
    // general section being the lines before the first section header) replaces that section
    // whole; other sections stay. Returns 1 when the file was read, 0 when it could not be.
    int LoadLanguageFile(const char* path);
    // Back to the built-in English texts alone.
    void UseBuiltInTexts();

    // The language file read at construction, or an empty text.
    const char* LanguageFilePath() const;

  private:
    struct Store;
    Store* store;
};

class LANGPACK_API DialogHelper {
  public:
    // Centres the window over its owner (or the screen when it has none). 1 done, 0 not.
    int CenterDialog(void* window);
};
