// Diagnostic output to a real LogViewer window.
#include <gtest/gtest.h>

#include <cstring>

#include "run/Diagnostics.h"
#include "support/LogViewerWindow.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

struct LineCase {
    const char* name;
    std::string line;  // sent as text; empty: a null format
    std::string received;
};

class ViewerLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ViewerLines, ArriveAs260ByteBlocksWithTag1237) {
    LogViewerWindow viewer;
    ASSERT_NE(viewer.Hwnd(), nullptr);
    const std::string& line = GetParam().line;
    EXPECT_EQ(line.empty() ? LogToViewer(nullptr) : LogTextToViewer(line), TRUE);
    std::vector<ViewerBlock> blocks = viewer.Blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].tag, 1237u);
    EXPECT_EQ(blocks[0].size, 260u);
    EXPECT_EQ(blocks[0].bytes.size(), 260u);
    EXPECT_EQ(blocks[0].Text(), GetParam().received);
    EXPECT_TRUE(blocks[0].ZeroPadded());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ViewerLines,
    ::testing::Values(LineCase{"300_cut_to_259", std::string(300, 'c'), std::string(259, 'c')},
                      LineCase{"null_format", "", "<null>"},
                      LineCase{"percent_unchanged", "\"C:\\100% done\\kb%d%s.exe\" /log:%TEMP%",
                               "\"C:\\100% done\\kb%d%s.exe\" /log:%TEMP%"}),
    CaseName<LineCase>);

TEST(Viewer, NothingIsSentWhenNoViewerRuns) {
    ASSERT_EQ(::FindWindowA(nullptr, "LogViewer"), nullptr);
    LogViewerWindow other("LogViewer2");
    EXPECT_EQ(LogToViewer("%s", "a line nobody reads"), 0);
    EXPECT_EQ(LogTextToViewer("still nobody"), 0);
    EXPECT_TRUE(other.Blocks().empty());
}

}  // namespace
