#!/usr/bin/env python3
"""Writes src/codepage/code_page_tables.cpp from the system's iconv (glibc).

For every single-byte page in PAGES the upper half (0x80 to 0xFF) is converted byte by byte
to Unicode with the iconv command; bytes iconv rejects stay undefined (0), except where the
printers' published tables print a character there (PRINTER_ADDITIONS). For every non-ASCII
character of those pages the look-alike table gives what remains when a Windows page lacks it:
box-drawing characters become - = | +, shade and block characters #, and everything else what
iconv's ASCII transliteration makes of it (a letter without its accent, EUR for the euro sign),
or nothing (the converter then writes ?).

Run it again after changing the page list:
    python3 tools/dev/gen-codepages.py            # rewrites the file
    python3 tools/dev/gen-codepages.py --check    # exit 1 when the file differs from what it would write
"""
import os
import subprocess
import sys
import unicodedata

# number, name shown to users, what it is, iconv name. Numbers are the Windows code page
# identifiers where one exists; 897 is the single-byte JIS X 0201 half (Katakana), 3021 the
# Bulgarian MIK page and 1048 the Kazakh page, by the numbers printers give them.
PAGES = [
    (437, "PC437", "USA, Standard Europe", "CP437"),
    (737, "PC737", "Greek", "CP737"),
    (771, "PC771", "Lithuanian KBL", "CP771"),
    (772, "PC772", "Lithuanian LST 1284", "CP772"),
    (774, "PC774", "Lithuanian LST 1283", "CP774"),
    (775, "PC775", "Baltic Rim", "CP775"),
    (850, "PC850", "Multilingual", "CP850"),
    (851, "PC851", "Greek", "CP851"),
    (852, "PC852", "Latin 2", "CP852"),
    (855, "PC855", "Cyrillic", "CP855"),
    (857, "PC857", "Turkish", "CP857"),
    (858, "PC858", "Multilingual with euro", "CP858"),
    (860, "PC860", "Portuguese", "CP860"),
    (861, "PC861", "Icelandic", "CP861"),
    (862, "PC862", "Hebrew", "CP862"),
    (863, "PC863", "Canadian French", "CP863"),
    (864, "PC864", "Arabic", "CP864"),
    (865, "PC865", "Nordic", "CP865"),
    (866, "PC866", "Cyrillic (Russian)", "CP866"),
    (869, "PC869", "Greek", "CP869"),
    (874, "WPC874", "Thai", "CP874"),
    (897, "Katakana", "half-width Katakana", "SHIFT_JIS"),
    (1048, "KZ-1048", "Kazakh", "RK1048"),
    (1125, "PC1125", "Ukrainian", "CP1125"),
    (1250, "WPC1250", "Windows Central Europe", "CP1250"),
    (1251, "WPC1251", "Windows Cyrillic", "CP1251"),
    (1252, "WPC1252", "Windows Western Europe", "CP1252"),
    (1253, "WPC1253", "Windows Greek", "CP1253"),
    (1254, "WPC1254", "Windows Turkish", "CP1254"),
    (1255, "WPC1255", "Windows Hebrew", "CP1255"),
    (1256, "WPC1256", "Windows Arabic", "CP1256"),
    (1257, "WPC1257", "Windows Baltic", "CP1257"),
    (1258, "WPC1258", "Windows Vietnamese", "CP1258"),
    (3021, "MIK", "Bulgarian", "MIK"),
    (28592, "ISO8859-2", "Latin 2", "ISO-8859-2"),
    (28597, "ISO8859-7", "Greek", "ISO-8859-7"),
    (28605, "ISO8859-15", "Latin 9", "ISO-8859-15"),
]

# Bytes that iconv leaves undefined but the printers' published code-page tables print, by page
# and byte. Only undefined bytes are filled in: where iconv names a character, it stays.
PRINTER_ADDITIONS = {
    # PC857 (ESC/POS ESC t 13, Star ESC GS t 12): the printers print the euro sign at 0xD5, as
    # IBM's euro update of the page (CCSID 9049) has it; iconv keeps the page from before the
    # euro, where 0xD5 is unused. A till that prints prices in euro on a Turkish page sends it.
    857: {0xD5: 0x20AC},
}

OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "codepage",
                      "code_page_tables.cpp")


def iconv(data, source, target):
    return subprocess.run(["iconv", "-c", "-f", source, "-t", target], input=data,
                          capture_output=True, check=False).stdout


def upper_half(number, iconv_name):
    """The Unicode character of each byte 0x80..0xFF as the printers print it: iconv's, the
    printers' additions, 0 where neither has one."""
    # One call per page: the bytes separated by line feeds; -c drops rejected bytes, which
    # leaves their lines empty.
    data = b"\n".join(bytes([b]) for b in range(0x80, 0x100))
    lines = iconv(data, iconv_name, "UTF-32LE").decode("utf-32-le").split("\n")
    if len(lines) != 128:
        sys.exit(f"{iconv_name}: iconv gave {len(lines)} characters for 128 bytes")
    result = []
    for byte, text in zip(range(0x80, 0x100), lines):
        if len(text) > 1:
            sys.exit(f"{iconv_name}: byte {byte:#x} gives {len(text)} characters")
        code = ord(text) if text else 0
        if code > 0xFFFF:
            sys.exit(f"{iconv_name}: byte {byte:#x} lies outside the basic plane")
        result.append(code)
    for byte, code in PRINTER_ADDITIONS.get(number, {}).items():
        if result[byte - 0x80] not in (0, code):
            sys.exit(f"{iconv_name}: iconv now has U+{result[byte - 0x80]:04X} at {byte:#x}, "
                     f"where the printers print U+{code:04X}")
        result[byte - 0x80] = code
    if iconv_name == "SHIFT_JIS":  # only the single-byte Katakana block belongs to the page
        result = [c if 0xA1 <= b <= 0xDF else 0 for b, c in zip(range(0x80, 0x100), result)]
    return result


def box_look_alike(name):
    directions = {w for w in name.split() if w in ("LEFT", "RIGHT", "UP", "DOWN")}
    if "HORIZONTAL" in name:
        directions |= {"LEFT", "RIGHT"}
    if "VERTICAL" in name:
        directions |= {"UP", "DOWN"}
    if directions and directions <= {"LEFT", "RIGHT"}:
        return "=" if "DOUBLE" in name else "-"
    if directions and directions <= {"UP", "DOWN"}:
        return "|"
    return "+"


def look_alikes(characters):
    """Look-alike text per character, from the box-drawing and block names and iconv."""
    table = {}
    plain = []
    for code in sorted(characters):
        name = unicodedata.name(chr(code), "")
        if name.startswith("BOX DRAWINGS"):
            table[code] = box_look_alike(name)
        elif 0x2580 <= code <= 0x259F or name == "BLACK SQUARE":
            table[code] = "#"
        else:
            plain.append(code)
    data = "\n".join(chr(c) for c in plain).encode("utf-8")
    lines = iconv(data, "UTF-8", "ASCII//TRANSLIT").decode("ascii").split("\n")
    if len(lines) != len(plain):
        sys.exit("iconv transliteration lost characters")
    for code, text in zip(plain, lines):
        text = text.strip() or (" " if text else "")  # a no-break space stays a space
        if text and "?" not in text and len(text) <= 4:
            table[code] = text
    return table


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def generate():
    # In ascending order of number: the program looks pages up by binary search.
    pages = [(number, name, about, iconv_name, upper_half(number, iconv_name))
             for number, name, about, iconv_name in sorted(PAGES)]
    characters = {c for page in pages for c in page[4] if c >= 0x80}
    alikes = look_alikes(characters)
    out = ["// Generated by tools/dev/gen-codepages.py from glibc iconv and the printers' own tables where they",
           "// differ (see PRINTER_ADDITIONS there); do not edit, run the script again. Kept out of",
           "// clang-format's way, so that --check can compare the file with what the script writes.",
           "// clang-format off",
           '#include "codepage/code_page_tables.h"', "", "const CodePageTable kCodePageTables[] = {"]
    for number, name, about, iconv_name, codes in pages:
        out.append(f"    {{{number}, {c_string(name)}, {c_string(about)}, {{")
        for row in range(0, 128, 8):
            out.append("        " + " ".join(f"0x{c:04X}," for c in codes[row:row + 8]))
        out.append("    }},")
    out += ["};", "const int kCodePageTableCount = sizeof(kCodePageTables) / sizeof(kCodePageTables[0]);",
            "", "const LookAlike kLookAlikes[] = {"]
    for code in sorted(alikes):
        out.append(f"    {{0x{code:04X}, {c_string(alikes[code])}}},")
    out += ["};", "const int kLookAlikeCount = sizeof(kLookAlikes) / sizeof(kLookAlikes[0]);",
            "// clang-format on", ""]
    return "\n".join(out)


def main():
    text = generate()
    if "--check" in sys.argv[1:]:
        with open(OUTPUT, encoding="utf-8") as f:
            if f.read() != text:
                sys.exit(f"{OUTPUT} differs from what the script writes; run tools/dev/gen-codepages.py")
        return
    with open(OUTPUT, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
