// The portable core's tables, run natively under the sanitizers: number
// reading, the file-name and digest checks, the entry bound and the
// instance name.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/Catalog.h"
#include "core/CommandLine.h"
#include "core/Instance.h"
#include "core/RunLog.h"
#include "core/Text.h"
#include "core/Trust.h"
#include "core/VersionText.h"

namespace {

TEST(Numbers, CatalogValuesConvertLikeTheStandardConversion) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"42", 42},   {"  42", 42}, {"\t7", 7}, {"-7", -7},   {"+5", 5},
                 {"12abc", 12}, {"3.5", 3},  {"abc", 0}, {"", 0},     {"-", 0},
                 {"- 1", 0},   {"007", 7},   {"99999999999", 2147483647},
                 {"-99999999999", -2147483647 - 1}, {"-2147483648", -2147483647 - 1}};
    for (const auto& c : cases) EXPECT_EQ(CatalogToInt(c.text), c.value) << "'" << c.text << "'";
}

TEST(Numbers, LengthsAndVersions) {
    EXPECT_EQ(ParseContentLength(" \t12345"), 12345);
    EXPECT_EQ(ParseContentLength("-5"), 0);
    EXPECT_EQ(ParseContentLength("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(ParseContentLength(nullptr), 0);
    EXPECT_EQ(VersionNumber("2.000"), 2000);
    EXPECT_EQ(VersionNumber("2.001\n"), 2001);
    EXPECT_EQ(VersionNumber("2.1"), 21);
    EXPECT_EQ(VersionNumber("3.000 beta"), 3000);
    EXPECT_EQ(VersionNumber("v3.000"), 0);
    EXPECT_EQ(VersionNumber("99999.99999999"), 2147483647);
    EXPECT_EQ(LeadingDecimal("99999999999x"), 2147483647);
    EXPECT_EQ(ServicePackFromCsd("Service Pack 3"), 3);
    EXPECT_EQ(ParseDottedVersion("..3.0.4506.26.7").part[3], 26);
}

TEST(Catalog, EntriesVisitedAreBounded) {
    EXPECT_EQ(EntriesToVisit(2000000000), kCatalogEntryLimit);
    EXPECT_EQ(EntriesToVisit(10001), 10000);
    EXPECT_EQ(EntriesToVisit(300), 300);
    EXPECT_EQ(EntriesToVisit(-5), 0);
}

TEST(UpdateFileNames, NamesThatLeaveTheFolderAreRefused) {
    const std::string folder = "C:\\Quellfix\\UPDATES";
    for (const char* name : {"", ".", "..", "..\\x.exe", "../x.exe", "a/b.exe", "C:x.exe", "x.exe:s",
                             "x\t.exe", "*.exe", "x?.exe", "x.exe.", "x.exe ", "CON", "nul.txt",
                             "Com1.exe", "LPT9", "aux .log", "a|b", "a<b", "a\"b", "\x7f"})
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
    EXPECT_EQ(digest[0], 0x00);
    EXPECT_EQ(digest[1], 0xFF);
    EXPECT_EQ(digest[3], 0xAB);
    EXPECT_EQ(digest[31], 0x77);
    Sha256Digest untouched = digest;
    for (const std::string& bad : {hex.substr(1), hex + "0", " " + hex.substr(1), hex.substr(0, 63) + "g",
                                   std::string()}) {
        EXPECT_FALSE(ParseSha256Hex(bad, digest)) << bad;
        EXPECT_EQ(digest, untouched);
    }
}

TEST(Instance, OneNamePerFolderWhateverTheCase) {
    EXPECT_EQ(InstanceName("C:\\Program Files\\Quellfix"), "Quellfix-c:/program files/quellfix");
    EXPECT_EQ(InstanceName("C:\\PROGRAM FILES\\QUELLFIX"), InstanceName("c:\\program files\\quellfix"));
    EXPECT_NE(InstanceName("C:\\A\\Quellfix"), InstanceName("C:\\B\\Quellfix"));
    const std::string longName = InstanceName("C:\\" + std::string(400, 'x') + "\\end");
    EXPECT_EQ(longName.size(), 250u);
    EXPECT_EQ(longName.substr(longName.size() - 4), "/end");
    EXPECT_EQ(longName.find('\\'), std::string::npos);
}

TEST(CommandLine, OnlyTheFirstPlainWordIsTheDebugSwitch) {
    const struct {
        std::vector<std::string> words;
        bool debug;
    } cases[] = {{{}, false},           {{"debug"}, true},           {{"DeBuG"}, true},
                 {{"/debug"}, false},   {{"-debug"}, false},         {{"debugx"}, false},
                 {{"debu"}, false},     {{"debug", "other"}, true},  {{"other", "debug"}, false},
                 {{"/p", "debug"}, true}, {{"", "debug"}, true}};
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& w : c.words) shown += "[" + w + "]";
        EXPECT_EQ(IsDebugCommandLine(c.words), c.debug) << shown;
    }
    EXPECT_TRUE(IsAutoCommandLine({"/s", "AUTO"}));
    EXPECT_FALSE(IsAutoCommandLine({"debug", "auto"}));
    EXPECT_FALSE(IsAutoCommandLine({"automatic"}));
    EXPECT_EQ(DirectoryOfPath("C:\\Tools\\Updater\\app.exe"), "C:\\Tools\\Updater");
    EXPECT_EQ(DirectoryOfPath("C:\\app.exe"), "C:");
    EXPECT_EQ(DirectoryOfPath("app.exe"), "");
}

TEST(RunLog, ExitCodesOfAnUnattendedRun) {
    RunSummary run;
    EXPECT_EQ(RunExitCode(false, run), kExitDone);
    run.restart = true;
    EXPECT_EQ(RunExitCode(false, run), kExitRestart);
    run.failed = 1;  // a failure outweighs a restart
    EXPECT_EQ(RunExitCode(false, run), kExitFailed);
    EXPECT_EQ(RunExitCode(true, run), kExitNoCatalog);
    RunSummary cancelled;
    cancelled.cancelled = true;
    EXPECT_EQ(RunExitCode(false, cancelled), kExitFailed);
}

// Entries of a given size, each starting with its header line.
std::string Entry(int n, std::size_t size) {
    std::string entry = RunLogEntry(RunLogHeader({2026, 12, 7, 9, 5, n}, "2.000", "Windows XP"),
                                    "", {}, kExitDone);
    while (entry.size() < size) entry.insert(entry.find('\n') + 1, "line of the run window\r\n");
    return entry;
}

TEST(RunLog, StaysUnderItsBoundByDroppingTheOldestRunsWhole) {
    const std::string first = Entry(1, 400), second = Entry(2, 400), third = Entry(3, 400);
    EXPECT_EQ(first.rfind("==== 2026-12-07 09:05:01 | Quellfix 2.000 | Windows XP ====\r\n", 0), 0u);
    std::string log = AppendToRunLog("", true, first, 1000);
    log = AppendToRunLog(log, true, second, 1000);
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
