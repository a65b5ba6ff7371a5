// What keeps runs going through what ends them early: the rest of a file
// asked for after an interruption, the journal of installers started, the
// history that stops endless reinstalls, and the restart chain's steps.
#include <gtest/gtest.h>

#include "core/CommandLine.h"
#include "core/HttpRange.h"
#include "core/InstallHistory.h"
#include "core/RestartChain.h"
#include "core/RunJournal.h"
#include "core/RunLog.h"

namespace {

// Only the exact rest of the file the server described before is taken:
// anything else could splice two files.
TEST(Resume, OnlyTheExactRestOfTheFileIsTaken) {
    EXPECT_EQ(RangeHeader(600000), "Range: bytes=600000-\r\n");
    const struct { const char* header; unsigned long long from, total; bool taken; } cases[] = {
        {"bytes 600000-999999/1000000", 600000, 1000000, true},
        {"BYTES 600000-999999/1000000", 600000, 1000000, true},
        {"bytes 0-999999/1000000", 600000, 1000000, false},       // the whole file again
        {"bytes 600000-999998/1000000", 600000, 1000000, false},  // not to the end
        {"bytes 600000-1199999/1200000", 600000, 1000000, false}, // the file changed size
        {"bytes 600000-999999/*", 600000, 1000000, false},
        {"bytes 600000-999999/1000000 x", 600000, 1000000, false},
        {"bytes  600000-999999/1000000", 600000, 1000000, false},
        {"bytes 600000-99999999999999999999999/1000000", 600000, 1000000, false},
        {"", 600000, 1000000, false},
        {"bytes 1000000-999999/1000000", 1000000, 1000000, false},
    };
    for (const auto& c : cases) EXPECT_EQ(ContentRangeMatches(c.header, c.from, c.total), c.taken) << c.header;
}

// A journal cut by a power loss still tells which installer was running;
// an installer that ended is not reported, and a half-written last line
// (the power loss itself) is passed over.
TEST(RunJournal, TellsWhichInstallerARunWasCutOffIn) {
    const JournalStart a{3, 1, "C:\\Q\\UPDATES\\a.exe", "보안 업데이트", "http://s/a.exe"};
    const JournalStart b{5, 2, "C:\\Q\\UPDATES\\b\tx.exe", "제목\r\n둘째 줄", "http://s/b.exe"};
    std::string journal = JournalStartLine(a) + JournalEndLine(3, "0") + JournalStartLine(b);
    std::vector<JournalStart> open = UnfinishedInstalls(journal);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].entry, 5);
    EXPECT_EQ(open[0].attempt, 2);
    EXPECT_EQ(open[0].file, "C:\\Q\\UPDATES\\b x.exe");
    EXPECT_EQ(open[0].title, "제목  둘째 줄");
    EXPECT_EQ(open[0].url, "http://s/b.exe");
    EXPECT_TRUE(UnfinishedInstalls(journal + JournalEndLine(5, "3010")).empty());
    EXPECT_EQ(UnfinishedInstalls(journal + "END\t5\t30").size(), 1u) << "a line cut while written";
    EXPECT_TRUE(UnfinishedInstalls("").empty());
    EXPECT_TRUE(UnfinishedInstalls("START\tx\t1\tf\tt\tu\r\nSTART\t-2\t1\tf\tt\tu\r\ngarbage\r\n").empty());
}

// Three runs in a row whose installer claims success while the update stays
// missing stop the next unattended run; a failure breaks the row, and an
// update found installed is forgotten.
TEST(InstallHistory, ThreeClaimsInARowStopTheUpdate) {
    InstallHistory history;
    const std::string url = "http://s/KB1.exe";
    for (int run = 1; run <= kInstallClaimsLimit; ++run) {
        EXPECT_FALSE(history.Stops(url)) << run;
        history.Claimed(url);
    }
    EXPECT_TRUE(history.Stops(url));
    history.Claimed("http://s/KB2.exe");
    InstallHistory read = InstallHistory::Parse(history.Text());
    EXPECT_EQ(read.Claims(url), 3);
    EXPECT_EQ(read.Claims("http://s/KB2.exe"), 1);
    read.Failed(url);
    EXPECT_EQ(read.Claims(url), 0);
    read.KeepOnly({"http://s/KB9.exe"});
    EXPECT_TRUE(read.Empty());
    EXPECT_EQ(InstallHistory::Parse("x\tu\r\n3\r\n\t\r\n99999\tu\r\n2\thttp://a b\r\n").Text(),
              "2\thttp://a b\r\n");
}

// A round with a restart goes on only while it installs something new, and
// never beyond five rounds; every other ending ends the chain.
TEST(RestartChain, GoesOnOnlyWhileRoundsInstallSomethingNew) {
    const struct { int round, exitCode, installedNew; ChainStep step; } cases[] = {
        {1, kExitRestart, 2, ChainStep::Restart},
        {4, kExitRestart, 1, ChainStep::Restart},
        {5, kExitRestart, 1, ChainStep::RoundsUsedUp},
        {2, kExitRestart, 0, ChainStep::NothingNew},
        {2, kExitDone, 0, ChainStep::Done},
        {1, kExitFailed, 3, ChainStep::Stopped},
        {1, kExitNoCatalog, 0, ChainStep::Stopped},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<int>(AfterChainRound(c.round, c.exitCode, c.installedNew)), static_cast<int>(c.step))
            << c.round << " " << c.exitCode << " " << c.installedNew;
    EXPECT_EQ(ParseChainState(ChainStateText(3)), 3);
    for (const char* bad : {"", "round", "round x", "round 99", "rounds 2"}) EXPECT_EQ(ParseChainState(bad), 0) << bad;
    EXPECT_TRUE(IsRestartChainCommandLine({"auto", "restart"}));
    EXPECT_TRUE(IsRestartChainCommandLine({"AUTO", "/x", "Restart"}));
    EXPECT_FALSE(IsRestartChainCommandLine({"restart", "auto"}));
    EXPECT_FALSE(IsRestartChainCommandLine({"auto"}));
    EXPECT_FALSE(IsRestartChainCommandLine({"debug", "restart"}));
}

}  // namespace
