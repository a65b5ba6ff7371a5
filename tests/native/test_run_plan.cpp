// The run window's decisions: what a download leaves for the installs, what
// comes next, and when an item must be verified.
#include <gtest/gtest.h>

#include "core/RunPlan.h"
#include "core/RunTexts.h"

TEST(RunPlan, DownloadResultsAndNextSteps) {
    EXPECT_EQ(StateAfter(DownloadResult::Fetched), ItemState::Present);
    EXPECT_EQ(StateAfter(DownloadResult::AlreadyThere), ItemState::Present);
    EXPECT_EQ(StateAfter(DownloadResult::NotTheFile), ItemState::Unverified);
    EXPECT_EQ(StateAfter(static_cast<DownloadResult>(7)), ItemState::Absent);
    EXPECT_STREQ(DownloadDoneText(DownloadResult::NotTheFile), kRunVerifyFailed);
    EXPECT_EQ(NotInstalledText(ItemState::Absent, 1, 2, "A"), NotDownloadedText(1, 2, "A"));
    EXPECT_EQ(AfterDownload(0, 2, false), NextStep::Download);
    EXPECT_EQ(AfterDownload(1, 2, false), NextStep::Install);
    EXPECT_EQ(AfterDownload(0, 2, true), NextStep::Cancelled);
    EXPECT_EQ(AfterDownload(1, 2, true), NextStep::Cancelled);
    EXPECT_FALSE(AlreadyDownloaded(0, 0)) << "an unknown size proves nothing";
    EXPECT_FALSE(AlreadyDownloaded(5, 4));
    EXPECT_TRUE(AlreadyDownloaded(5, 5));
}

TEST(RunPlan, DigestRules) {
    const std::string hex(64, 'a');
    struct Case { std::string text; bool signedBuild, pinned, required; } cases[] = {
        {"", false, false, false}, {"", true, false, true}, {hex, false, true, true},
        {hex + "0", false, false, true}, {"xyz", true, false, true}, {hex, true, true, true}};
    for (const Case& c : cases) {
        const DigestRule rule = DigestRuleOf(c.text, c.signedBuild);
        EXPECT_EQ(rule.pinned, c.pinned) << c.text << c.signedBuild;
        EXPECT_EQ(rule.required, c.required) << c.text << c.signedBuild;
    }
    EXPECT_EQ(RunItemOf(RunEntry{"t", "..\\evil.exe", "u", "", ""}, "C:\\U").path, "");
    EXPECT_EQ(RunItemOf(RunEntry{"t", "a.exe", "u", "", ""}, "C:\\U").path, "C:\\U\\a.exe");
}
