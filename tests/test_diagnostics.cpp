// Diagnostic output to a real LogViewer window.
#include <gtest/gtest.h>

#include "run/Diagnostics.h"
#include "support/LogViewerWindow.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

TEST(Viewer, EveryLineArrivesAsA260ByteBlockWithTag1237) {
    const struct {
        const char* name;
        std::string line;  // sent as text; empty: a null format
        std::string received;
    } cases[] = {{"300_cut_to_259", std::string(300, 'c'), std::string(259, 'c')},
                 {"null_format", "", "<null>"},
                 {"percent_unchanged", "\"C:\\100% done\\kb%d%s.exe\" /log:%TEMP%",
                  "\"C:\\100% done\\kb%d%s.exe\" /log:%TEMP%"}};
    for (const auto& c : cases) {
        LogViewerWindow viewer;
        ASSERT_NE(viewer.Hwnd(), nullptr);
        EXPECT_EQ(c.line.empty() ? LogToViewer(nullptr) : LogTextToViewer(c.line), TRUE) << c.name;
        std::vector<ViewerBlock> blocks = viewer.Blocks();
        ASSERT_EQ(blocks.size(), 1u) << c.name;
        EXPECT_EQ(blocks[0].tag, 1237u) << c.name;
        EXPECT_EQ(blocks[0].size, 260u) << c.name;
        EXPECT_EQ(blocks[0].bytes.size(), 260u) << c.name;
        EXPECT_EQ(blocks[0].Text(), c.received) << c.name;
        EXPECT_TRUE(blocks[0].ZeroPadded()) << c.name;
    }
}

TEST(Viewer, NothingIsSentWhenNoViewerRuns) {
    ASSERT_EQ(::FindWindowA(nullptr, "LogViewer"), nullptr);
    LogViewerWindow other("LogViewer2");
    EXPECT_EQ(LogToViewer("%s", "a line nobody reads"), 0);
    EXPECT_EQ(LogTextToViewer("still nobody"), 0);
    EXPECT_TRUE(other.Blocks().empty());
}

}  // namespace
