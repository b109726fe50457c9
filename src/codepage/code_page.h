// Single-byte code pages: what printers print a byte as, what the overlay shows it as, and the
// conversions between them. Pages are named by number (437, 850, 1252, ...; code_page_tables.h
// lists them); the data comes from iconv through tools/dev/gen-codepages.py.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "codepage/code_page_tables.h"

constexpr int kDefaultPrinterCodePage = 437;  // as printers ship
constexpr int kDefaultRecorderCodePage = 1252;
constexpr int kMaxConvertedBytes = 4;  // the longest text one character becomes
constexpr uint32_t kReplacementCharacter = 0xFFFD;

// The page with this number, or nullptr when it is not supported.
const CodePageTable* FindCodePage(int number);
// True for the Windows pages a recorder can show text in: 874 and 1250 to 1258.
bool IsWindowsCodePage(int number);

// The Unicode character of a byte: the byte itself below 0x80, else the page's character, 0 when
// the page has none there.
uint32_t ToUnicode(const CodePageTable& page, uint8_t byte);

// Writes a character as the Windows page `windowsPage` has it: its byte, else the look-alike
// (a letter without its accent, - = | + for box drawing), else "?". Returns the byte count (1 to
// kMaxConvertedBytes); out receives no terminating NUL.
int FromUnicode(uint32_t code, int windowsPage, char* out);

// What each byte of a printer page becomes in a Windows page.
struct ConversionTable {
    uint8_t lengths[256];
    char texts[256][kMaxConvertedBytes];
};

// The conversion from a printer page to a Windows page. The table of each pair is built once for
// the whole program and shared (tills may switch pages on every line).
class PageConverter {
  public:
    PageConverter();
    // Returns 0, or -1 when either page is unknown; then every byte from 0x80 up becomes "?"
    // (the printer prints something we cannot name). Bytes below 0x80 always stay as they are.
    int Set(int printerPage, int windowsPage);
    int PrinterPage() const { return printer; }
    int WindowsPage() const { return windows; }

    // Whether a byte becomes exactly one byte, and that byte.
    bool Single(int byte) const { return table->lengths[byte] == 1; }
    char First(int byte) const { return table->texts[byte][0]; }
    // The converted text of a byte and its length.
    const char* Convert(uint8_t byte, int* length) const {
        *length = table->lengths[byte];
        return table->texts[byte];
    }

  private:
    int printer = 0;
    int windows = 0;
    bool known = false;
    const ConversionTable* table = nullptr;
};

// Appends text in a Windows page as UTF-8. Bytes the page leaves undefined become U+FFFD.
// Returns 0, or -1 (nothing appended) when the page is unknown.
int AppendWindowsAsUtf8(int windowsPage, const char* text, size_t length, std::string* out);

// Appends one character as UTF-8 (U+FFFD for a value that is no character).
void AppendUtf8(uint32_t code, std::string* out);

// Reads UTF-8 one byte at a time, as a printer that prints UTF-8 text takes it.
class Utf8Reader {
  public:
    // Takes the next byte; returns how many characters are complete (0, 1 or 2) and stores them
    // in codes. A sequence that is no valid character becomes U+FFFD; when a byte breaks off a
    // sequence, the replacement comes first and the byte begins anew.
    int Feed(uint8_t byte, uint32_t codes[2]);
    void Reset() { pending = 0; }

  private:
    uint32_t value = 0;
    int pending = 0;  // continuation bytes still expected
    uint32_t minimum = 0;
};
