// The key journal's text: what a repair records survives the file byte for
// byte, and a damaged file costs only its damaged lines.
#include <gtest/gtest.h>

#include "core/KeyJournal.h"

namespace {

// A descriptor of `size` bytes running through every byte value.
std::string Descriptor(std::size_t size, unsigned char first = 1) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(first + i);
    return bytes;
}

const std::string kUpdateRecord = "\xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE \xB1\xE2\xB7\xCF";  // CP949

KeyJournalEntry Entry(std::string path, std::string root = "HKEY_LOCAL_MACHINE",
                      std::string security = Descriptor(20), std::string computer = "PC1") {
    return KeyJournalEntry{computer, root, path, security};
}

// A whole line as the program writes it for `Entry(path)` with a 20-byte
// descriptor 01..14.
const std::string kLine = "PC1\tHKEY_LOCAL_MACHINE\t0102030405060708090A0B0C0D0E0F1011121314\tSOFTWARE\\A\r\n";

TEST(KeyJournal, EntriesSurviveTheTextByteForByte) {
    EXPECT_EQ(FormatKeyJournal({Entry("SOFTWARE\\A")}), kLine);
    const std::vector<KeyJournalEntry> entries = {
        Entry("SOFTWARE"),
        Entry("SOFTWARE\\Microsoft\\" + kUpdateRecord, "HKEY_LOCAL_MACHINE", Descriptor(300, 0xF0)),
        Entry("Software\\a b\\%c|d=e", "HKEY_CURRENT_USER", Descriptor(kKeyJournalMaxSecurity, 0), ""),
        Entry("S", "HKEY_USERS", std::string(20, '\0'), "\xC4\xC4\xC7\xBB\xC5\xCD"),
        Entry("SOFTWARE", "HKEY_CLASSES_ROOT"),
        Entry("System\\CurrentControlSet", "HKEY_CURRENT_CONFIG"),
        Entry("SOFTWARE"),  // the same change recorded twice stays twice
    };
    EXPECT_EQ(ParseKeyJournal(FormatKeyJournal(entries)), entries);
}

TEST(KeyJournal, DamagedLinesAreSkipped) {
    const KeyJournalEntry a = Entry("SOFTWARE\\A");
    const std::string hex = "0102030405060708090A0B0C0D0E0F1011121314";
    const std::string start = "PC1\tHKEY_LOCAL_MACHINE\t";
    struct Case {
        const char* what;
        std::string text;
        std::vector<KeyJournalEntry> entries;
    } cases[] = {
        {"empty file", "", {}},
        {"line feed alone ends a line", start + hex + "\tSOFTWARE\\A\n", {a}},
        {"last line cut off in its path", kLine + start + hex + "\tSOFTWARE\\", {a}},
        {"last line cut off before its line feed", kLine + kLine.substr(0, kLine.size() - 1), {a}},
        {"not a hex digit", start + "G1" + hex.substr(2) + "\tSOFTWARE\\B\r\n" + kLine, {a}},
        {"odd hex length", start + hex + "1\tSOFTWARE\\B\r\n" + kLine, {a}},
        {"descriptor shorter than its header", start + hex.substr(2) + "\tSOFTWARE\\B\r\n" + kLine, {a}},
        {"descriptor longer than any", start + std::string(2 * kKeyJournalMaxSecurity + 2, 'A') + "\tB\r\n" + kLine, {a}},
        {"short root name", "PC1\tHKLM\t" + hex + "\tSOFTWARE\\B\r\n" + kLine, {a}},
        {"root name in lower case", "PC1\thkey_local_machine\t" + hex + "\tSOFTWARE\\B\r\n" + kLine, {a}},
        {"empty path", start + hex + "\t\r\n" + kLine, {a}},
        {"tab in the path", start + hex + "\tSOFT\tWARE\r\n" + kLine, {a}},
        {"NUL in the path", start + hex + "\tSOFT" + std::string(1, '\0') + "WARE\r\n" + kLine, {a}},
        {"binary noise between entries", kLine + std::string("\x00\xFF\x09\x09\x09\x0A", 6) + kLine, {a, a}},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseKeyJournal(c.text), c.entries) << c.what;
}

}  // namespace
