// Catalog reading through the real profile-string reader: defaults for a
// missing file, letter case, blanks and quotation marks, cut values, numbers
// and Korean text in CP949.
#include <gtest/gtest.h>

#include "catalog/Catalog.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

class CatalogFile : public ::testing::Test {
protected:
    void Write(const std::string& text) { ASSERT_TRUE(WriteBytes(path, text)); }
    std::string Read(const char* section, const char* key, const char* def = "",
                     DWORD size = kCatalogListBuffer) {
        return ReadCatalogValue(path, section, key, def, size);
    }
    ScopedTempDir dir;
    std::string path = dir.File("quellfix.ini");
};

TEST_F(CatalogFile, MissingFileGivesEveryDefault) {
    EXPECT_EQ(Read("INFO", "COUNT", "0"), "0");
    EXPECT_EQ(Read("INFO", "LANGUAGE", "ERROR", kCatalogDetailsBuffer), "ERROR");
    EXPECT_EQ(Read("1", "TYPE", "PATCH"), "PATCH");
    EXPECT_EQ(CatalogToInt(Read("INFO", "COUNT", "0")), 0);
}

TEST_F(CatalogFile, SectionAndKeyNamesMatchInAnyCase) {
    Write("[info]\r\ncount=3\r\n[1]\r\nTitle=first\r\n");
    EXPECT_EQ(Read("INFO", "COUNT"), "3");
    EXPECT_EQ(Read("Info", "CoUnT"), "3");
    EXPECT_EQ(Read(EntrySection(1).c_str(), "TITLE"), "first");
    EXPECT_EQ(Read("2", "TITLE", "none"), "none");
}

TEST_F(CatalogFile, BlanksAndOnePairOfQuotesAreRemoved) {
    Write("[1]\r\n"
          "A =   spaced value   \r\n"
          "B=\"double quoted\"\r\n"
          "C='single quoted'\r\n"
          "D=\"unbalanced\r\n"
          "E=\r\n"
          "SPVER= -1\r\n");
    EXPECT_EQ(Read("1", "A"), "spaced value");
    EXPECT_EQ(Read("1", "B"), "double quoted");
    EXPECT_EQ(Read("1", "C"), "single quoted");
    EXPECT_EQ(Read("1", "D"), "\"unbalanced");
    EXPECT_EQ(Read("1", "E", "default"), "");
    // A leading blank is gone, so " -1" reads exactly as "-1".
    EXPECT_EQ(Read("1", "SPVER", "x"), "-1");
}

TEST_F(CatalogFile, LongValuesAreCutToTheReadersBuffer) {
    std::string longValue(2000, 'x');
    for (size_t i = 0; i < longValue.size(); ++i) longValue[i] = static_cast<char>('a' + i % 26);
    Write("[1]\r\nDESCRIPTION=" + longValue + "\r\n");
    EXPECT_EQ(Read("1", "DESCRIPTION", "", kCatalogListBuffer), longValue.substr(0, 1023));
    EXPECT_EQ(Read("1", "DESCRIPTION", "", kCatalogDetailsBuffer), longValue.substr(0, 1022));
    // A value that fits exactly is whole.
    Write("[1]\r\nDESCRIPTION=" + longValue.substr(0, 1022) + "\r\n");
    EXPECT_EQ(Read("1", "DESCRIPTION", "", kCatalogDetailsBuffer), longValue.substr(0, 1022));
}

TEST_F(CatalogFile, KoreanTitlesReadBackByteForByte) {
    // The literals are CP949 bytes, as an administrator's catalog would be.
    const std::string title = "윈도우 XP 보안 업데이트 (KB912919) - 한글판";
    Write("[INFO]\r\nCOUNT=1\r\nLANGUAGE=18\r\n[1]\r\nTITLE=" + title + "\r\n");
    std::string read = Read("1", "TITLE");
    EXPECT_EQ(read, title);
    EXPECT_EQ(static_cast<unsigned char>(read[0]), 0xC0u);  // first byte of 윈 in CP949
    EXPECT_EQ(CatalogToInt(Read("INFO", "LANGUAGE", "0")), 18);
}

TEST_F(CatalogFile, NumbersWithBlanksSignsAndTrailingTextFromTheFile) {
    Write("[INFO]\r\nCOUNT=  12 entries\r\nLANGUAGE=-3\r\n[1]\r\nIEVER=+7\r\nWMPVER=ten\r\n");
    EXPECT_EQ(CatalogToInt(Read("INFO", "COUNT", "0")), 12);
    EXPECT_EQ(CatalogToInt(Read("INFO", "LANGUAGE", "0")), -3);
    EXPECT_EQ(CatalogToInt(Read("1", "IEVER", "6")), 7);
    EXPECT_EQ(CatalogToInt(Read("1", "WMPVER", "0")), 0);
}

}  // namespace
