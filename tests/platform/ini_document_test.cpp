#include "platform/ini_document.h"

#include <gtest/gtest.h>

using zamri::IniDocument;

namespace {

std::string Lookup(const IniDocument& doc, const char* section, const char* key) {
    std::string value;
    return doc.Find(section, key, &value) ? value : "<missing>";
}

}  // namespace

TEST(IniDocument, FindsValuesLikeTheProfileFunctions) {
    IniDocument doc(
        "; comment\n"
        "[Channel]\n"
        "1=1,COM3\n"
        "  Port  =  10001  \n"
        "quoted=\"  padded  \"\n"
        "single='x'\n"
        "half=\"open\n"
        "empty=\n"
        "eq=a=b\n"
        "[channel]\n"
        "1=second section of the same name is never read\n"
        "[ Other ]\n"
        "1=other\n");
    EXPECT_EQ(Lookup(doc, "Channel", "1"), "1,COM3");
    EXPECT_EQ(Lookup(doc, "CHANNEL", "port"), "10001");
    EXPECT_EQ(Lookup(doc, "Channel", "quoted"), "  padded  ");
    EXPECT_EQ(Lookup(doc, "Channel", "single"), "x");
    EXPECT_EQ(Lookup(doc, "Channel", "half"), "\"open");
    EXPECT_EQ(Lookup(doc, "Channel", "empty"), "");
    EXPECT_EQ(Lookup(doc, "Channel", "eq"), "a=b");
    EXPECT_EQ(Lookup(doc, "Other", "1"), "other");
    EXPECT_EQ(Lookup(doc, "Channel", "2"), "<missing>");
    EXPECT_EQ(Lookup(doc, "Missing", "1"), "<missing>");
}

TEST(IniDocument, ChangesOneLineAndKeepsEveryOtherByte) {
    const std::string original =
        "# kept\r\n"
        "[Channel]\r\n"
        "1=0,COM1\r\n"
        "x = spaced \r\n"
        "\r\n"
        "[Important]\r\n"
        "count=1\r\n";
    IniDocument doc(original);
    doc.Set("channel", "X", "new");
    EXPECT_EQ(doc.Text(),
              "# kept\r\n"
              "[Channel]\r\n"
              "1=0,COM1\r\n"
              "X=new\r\n"
              "\r\n"
              "[Important]\r\n"
              "count=1\r\n");

    doc.Set("Channel", "PORT", "10000");  // a new key goes after the last key, before the blank line
    doc.Set("Ignore", "count", "0");      // a new section goes at the end
    EXPECT_EQ(doc.Text(),
              "# kept\r\n"
              "[Channel]\r\n"
              "1=0,COM1\r\n"
              "X=new\r\n"
              "PORT=10000\r\n"
              "\r\n"
              "[Important]\r\n"
              "count=1\r\n"
              "[Ignore]\r\n"
              "count=0\r\n");
}

TEST(IniDocument, AddsToFilesWithoutFinalLineEnd) {
    IniDocument doc("[A]\nk=v");
    doc.Set("A", "j", "w");
    EXPECT_EQ(doc.Text(), "[A]\nk=v\nj=w\n");
    IniDocument empty("");
    empty.Set("Channel", "1", "x");
    EXPECT_EQ(empty.Text(), "[Channel]\n1=x\n");
}

TEST(IniDocument, SurvivesGarbageAndHugeLines) {
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    garbage += "\n[Channel]\n1=" + std::string(10000, 'v') + "\n";
    IniDocument doc(garbage);
    EXPECT_EQ(Lookup(doc, "Channel", "1").size(), 10000u);
    doc.Set("Channel", "1", "short");
    EXPECT_EQ(Lookup(doc, "Channel", "1"), "short");
}

// A CR is a line end wherever it stands: a value never keeps it, and a later write of another
// key changes neither the value nor the section a header names.
TEST(IniDocument, ALoneCrEndsALineEvenAtTheEnd) {
    IniDocument doc("[Important]\r\ncount=1\r0=TOTAL\r");
    EXPECT_EQ(Lookup(doc, "Important", "count"), "1");
    EXPECT_EQ(Lookup(doc, "Important", "0"), "TOTAL");
    doc.Set("Ignore", "count", "0");
    EXPECT_EQ(doc.Text(), "[Important]\r\ncount=1\r0=TOTAL\r[Ignore]\r\ncount=0\r\n");
    EXPECT_EQ(Lookup(IniDocument(doc.Text()), "Important", "0"), "TOTAL");

    IniDocument header("[A]\nk=v\n[\r");
    header.Set("A", "j", "w");
    header.Set("B", "x", "y");
    EXPECT_EQ(header.Text(), "[A]\nk=v\nj=w\n[\r[B]\nx=y\n");
    EXPECT_EQ(Lookup(IniDocument(header.Text()), "B", "x"), "y");
}
