// The portable core's tables, run natively under the sanitizers: number and
// version reading, the entry bound, the file-name and digest checks, the
// instance name, the command line and the run log.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/CatalogModel.h"
#include "core/CommandLine.h"
#include "core/Instance.h"
#include "core/RunLog.h"
#include "core/Text.h"
#include "core/UpdateFiles.h"
#include "core/VersionText.h"

namespace {

TEST(Numbers, CatalogValuesLengthsAndVersions) {
    const struct { const char* text; int value; } cases[] = {
        {"42", 42}, {" \t7", 7}, {"-7", -7}, {"+5", 5}, {"12abc", 12}, {"", 0}, {"-", 0}, {"- 1", 0}, {"010", 10},
        {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}, {"-2147483648", INT_MIN}};
    for (const auto& c : cases) EXPECT_EQ(CatalogToInt(c.text), c.value) << "'" << c.text << "'";
    // Content-Length has no sign and is held at LONG_MAX; a version text is its digits without the dots.
    for (auto [text, length] : {std::pair<const char*, long>{" \t12345", 12345}, {"-5", 0},
                                {"99999999999999999999999", LONG_MAX}, {nullptr, 0}})
        EXPECT_EQ(ParseContentLength(text), length) << (text ? text : "(null)");
    for (auto [text, number] : {std::pair{"2.001\n", 2001}, {"2.1", 21}, {"v3.000", 0}, {"99999.99999999", INT_MAX}})
        EXPECT_EQ(VersionNumber(text), number) << text;
    for (auto [count, visited] : {std::pair{-5, 0}, {300, 300}, {10000, 10000}, {10001, 10000}})
        EXPECT_EQ(EntriesToVisit(count), visited) << count;
}

TEST(Numbers, DottedVersionsAndMajors) {
    // .NET 3.0 counts from 3.0.4506.26: the first part that differs decides;
    // runs of dots are one separator, and a fifth part is not read.
    const struct { const char* text; bool atLeast; } versions[] = {
        {"3.0.4506.26", true}, {"3.0.4506.25", false}, {"3.0.4507", true}, {"2.9.9999.99", false},
        {"..3..0.4506.26", true}, {"3.0.4506.25.99", false}, {"", false}};
    for (const auto& c : versions)
        EXPECT_EQ(IsVersionAtLeast(ParseDottedVersion(c.text), 3, 0, 4506, 26), c.atLeast) << c.text;
    // Internet Explorer's "Version": the part before the first dot, none without a dot.
    EXPECT_EQ(MajorFromDottedText("8.00.6001.18702"), 8);
    EXPECT_EQ(MajorFromDottedText("8"), 0);
}

TEST(UpdateFileNames, NamesThatLeaveTheFolderAreRefused) {
    const std::string folder = "C:\\Quellfix\\UPDATES";
    for (const char* name : {"", ".", "..", "..\\x.exe", "../x.exe", "C:x.exe", "x.exe:s", "x\t.exe", "*.exe",
                             "x?.exe", "x.exe.", "x.exe ", "CON", "nul.txt", "Com1.exe", "LPT9", "aux .log", "a|b",
                             "a<b", "a>b", "a\"b", "\x7f"})
        EXPECT_EQ(UpdateFilePath(folder, name), "") << name;
    // The whole path must stay shorter than MAX_PATH.
    EXPECT_EQ(UpdateFilePath(folder, std::string(260 - folder.size() - 1, 'a')), "");
    EXPECT_NE(UpdateFilePath(folder, std::string(259 - folder.size() - 1, 'a')), "");
    for (const char* name : {"KB990001.exe", "\xba\xb8\xbe\xc8.exe", "COM10.exe", "console.exe",
                             ".hidden", "x..y.msi"})
        EXPECT_EQ(UpdateFilePath(folder, name), folder + "\\" + name) << name;
}

TEST(Digests, OnlySixtyFourHexDigitsAreADigest) {
    Sha256Digest digest{};
    const std::string hex = "00FF10ab" + std::string(56, '7');
    ASSERT_TRUE(ParseSha256Hex(hex, digest));
    EXPECT_EQ(std::vector<int>({digest[0], digest[1], digest[3], digest[31]}), std::vector<int>({0, 255, 171, 119}));
    const Sha256Digest untouched = digest;
    for (const std::string& bad : {hex.substr(1), hex + "0", " " + hex.substr(1), hex.substr(0, 63) + "g", {}}) {
        EXPECT_FALSE(ParseSha256Hex(bad, digest)) << bad;
        EXPECT_EQ(digest, untouched) << bad;
    }
}

TEST(Instance, OneNamePerFolderWhateverTheCase) {
    EXPECT_EQ(InstanceName("C:\\Program Files\\Quellfix"), "Quellfix-c:/program files/quellfix");
    // A long folder keeps its end, where installations differ.
    const std::string longName = InstanceName("C:\\" + std::string(400, 'x') + "\\end");
    EXPECT_EQ(longName.size(), 250u);
    EXPECT_EQ(longName.substr(longName.size() - 4), "/end");
}

TEST(CommandLine, OnlyTheFirstPlainWordIsTheSwitch) {
    const struct { std::vector<std::string> words; bool debug, autoRun = false; } cases[] = {
        {{}, false}, {{"debug"}, true}, {{"DeBuG"}, true}, {{"/debug"}, false}, {{"-debug"}, false}, {{"debugx"}, false},
        {{"debu"}, false}, {{"debug", "other"}, true}, {{"other", "debug"}, false}, {{"/p", "debug"}, true},
        {{"", "debug"}, true}, {{"/s", "AUTO"}, false, true}, {{"debug", "auto"}, true}, {{"automatic"}, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsDebugCommandLine(c.words), c.debug) << ::testing::PrintToString(c.words);
        EXPECT_EQ(IsAutoCommandLine(c.words), c.autoRun) << ::testing::PrintToString(c.words);
    }
    for (auto [path, folder] : {std::pair{"C:\\Tools\\Updater\\app.exe", "C:\\Tools\\Updater"},
                                {"E:\\quellfix.exe", "E:"}, {"app.exe", ""}})
        EXPECT_EQ(DirectoryOfPath(path), folder) << path;
}

TEST(RunLog, ExitCodesOfAnUnattendedRun) {
    // A missing catalog outweighs a failure, and a failure or a cancel a restart.
    const struct { const char* name; bool noCatalog; int failed; bool restart, cancelled; int code; } cases[] = {
        {"done", false, 0, false, false, kExitDone},        {"restart", false, 0, true, false, kExitRestart},
        {"failed", false, 1, true, false, kExitFailed},     {"cancelled", false, 0, true, true, kExitFailed},
        {"no_catalog", true, 1, true, false, kExitNoCatalog}};
    for (const auto& c : cases)
        EXPECT_EQ(RunExitCode(c.noCatalog, RunSummary{true, c.failed, c.restart, c.cancelled, {}}), c.code) << c.name;
}

// Entries of a given size, each starting with its header line.
std::string Entry(int n, std::size_t size) {
    std::string entry = RunLogEntry(RunLogHeader({2026, 12, 7, 9, 5, n}, "2.000", "PC-1", "Windows XP"), "", {}, kExitDone);
    while (entry.size() < size) entry.insert(entry.find('\n') + 1, "line of the run window\r\n");
    return entry;
}

// The header names the computer, so the runs of many PCs in one log on a
// stick are told apart.
TEST(RunLog, HeaderNamesTimeVersionComputerAndWindows) {
    EXPECT_EQ(RunLogHeader({2026, 12, 7, 9, 5, 1}, "2.000", "PC-1", "Windows XP"),
              "==== 2026-12-07 09:05:01 | Quellfix 2.000 | PC-1 | Windows XP ====");
    EXPECT_EQ(RunLogHeader({2026, 12, 7, 9, 5, 1}, "2.000", "", "Windows XP"),
              "==== 2026-12-07 09:05:01 | Quellfix 2.000 | Windows XP ====");
}

TEST(RunLog, StaysUnderItsBoundByDroppingTheOldestRunsWhole) {
    const std::string first = Entry(1, 400), second = Entry(2, 400), third = Entry(3, 400);
    std::string log = AppendToRunLog(AppendToRunLog("", true, first, 1000), true, second, 1000);
    EXPECT_EQ(log, first + second);
    log = AppendToRunLog(log, true, third, 1000);
    EXPECT_EQ(log, second + third);  // the oldest run went whole
    // A tail read from the middle of a run loses that part run; a log cut
    // without its last line end still gets each entry on a line of its own.
    EXPECT_EQ(AppendToRunLog(first.substr(10) + second, false, third, 5000), second + third);
    EXPECT_EQ(AppendToRunLog("half a line", true, third, 5000), "half a line\r\n" + third);
    // One run longer than the bound keeps its header and its newest lines.
    const std::string huge = Entry(4, 3000);
    log = AppendToRunLog(log, true, huge, 1000);
    EXPECT_LT(log.size(), 1000u);
    EXPECT_EQ(log.rfind(huge.substr(0, huge.find('\n') + 1), 0), 0u);
    EXPECT_EQ(log.substr(log.size() - 40), huge.substr(huge.size() - 40));
}

}  // namespace
