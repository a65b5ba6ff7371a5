// Diagnostic output to a real LogViewer window.
#include <gtest/gtest.h>

#include "run/Diagnostics.h"
#include "support/RunFixtures.h"

using namespace testing_support;

namespace {

// A stand-in for the diagnostic viewer: a top-level window with `title` on
// a thread of its own, which records every WM_COPYDATA block (tag and
// bytes) it is sent and answers TRUE.
class LogViewerWindow {
public:
    typedef std::pair<ULONG_PTR, std::string> Block;
    explicit LogViewerWindow(const std::string& title = "LogViewer")
        : m_window(title, [this](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
              if (msg != WM_COPYDATA) return false;
              const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
              std::lock_guard<std::mutex> hold(m_lock);
              m_blocks.emplace_back(data->dwData, std::string(static_cast<const char*>(data->lpData),
                                                              data->cbData <= (1u << 20) ? data->cbData : 0));
              result = TRUE;
              return true;
          }) {}
    std::vector<Block> Blocks() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_blocks;
    }

private:
    mutable std::mutex m_lock;
    std::vector<Block> m_blocks;
    WindowThread m_window;  // last: its thread stops before the records go
};

// The text up to its terminating zero, and zeros after it to the block's end.
TEST(Viewer, EveryLineArrivesAsAZeroPadded260ByteBlockWithTag1237) {
    const struct { const char* name; std::string line; std::string received; } cases[] = {
        {"300_cut_to_259", std::string(300, 'c'), std::string(259, 'c')},
        {"null_format", "", "<null>"},  // an empty line stands for a null format
        {"percent_unchanged", "\"C:\\100% done\\kb%d%s.exe\" /log:%TEMP%",
         "\"C:\\100% done\\kb%d%s.exe\" /log:%TEMP%"}};
    for (const auto& c : cases) {
        LogViewerWindow viewer;
        EXPECT_EQ(c.line.empty() ? LogToViewer(nullptr) : LogTextToViewer(c.line), TRUE) << c.name;
        std::string expected = c.received;
        expected.resize(260, '\0');
        EXPECT_EQ(viewer.Blocks(), (std::vector<LogViewerWindow::Block>{{1237u, expected}})) << c.name;
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
