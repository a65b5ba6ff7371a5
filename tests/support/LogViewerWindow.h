// A stand-in for the diagnostic viewer: a top-level window titled
// "LogViewer" on a thread of its own in the test process, which records every
// WM_COPYDATA block it is sent and answers TRUE.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "support/RunFixtures.h"

namespace testing_support {

struct ViewerBlock {
    WPARAM sender = 0;  // wParam of the message
    ULONG_PTR tag = 0;  // dwData
    DWORD size = 0;     // cbData
    std::string bytes;  // the whole block, cbData bytes
    // The text: the bytes up to the first zero.
    std::string Text() const { return std::string(bytes.c_str()); }
    // Every byte after the text's terminating zero is zero too.
    bool ZeroPadded() const;
};

class LogViewerWindow {
public:
    explicit LogViewerWindow(const std::string& title = "LogViewer");
    HWND Hwnd() const { return m_window.Hwnd(); }
    std::vector<ViewerBlock> Blocks() const;
    std::vector<std::string> Lines() const;  // the text of each block
    void Close() { m_window.Close(); }

private:
    mutable std::mutex m_lock;
    std::vector<ViewerBlock> m_blocks;
    WindowThread m_window;  // last: its thread stops before the records go
};

}  // namespace testing_support
