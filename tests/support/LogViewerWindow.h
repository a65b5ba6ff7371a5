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
    ULONG_PTR tag = 0;  // dwData
    DWORD size = 0;     // cbData
    std::string bytes;  // the whole block, cbData bytes (none past 1 MB)
    // The text: the bytes up to the first zero.
    std::string Text() const { return std::string(bytes.c_str()); }
    // Every byte after the text's terminating zero is zero too.
    bool ZeroPadded() const {
        size_t end = bytes.find('\0');
        return end != std::string::npos && bytes.find_first_not_of('\0', end) == std::string::npos;
    }
};

class LogViewerWindow {
public:
    explicit LogViewerWindow(const std::string& title = "LogViewer")
        : m_window(title, [this](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
              if (msg != WM_COPYDATA) return false;
              const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
              ViewerBlock block;
              if (data) {
                  block.tag = data->dwData;
                  block.size = data->cbData;
                  if (data->lpData && data->cbData <= (1u << 20))
                      block.bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
              }
              std::lock_guard<std::mutex> hold(m_lock);
              m_blocks.push_back(block);
              result = TRUE;
              return true;
          }) {}
    HWND Hwnd() const { return m_window.Hwnd(); }
    std::vector<ViewerBlock> Blocks() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_blocks;
    }

private:
    mutable std::mutex m_lock;
    std::vector<ViewerBlock> m_blocks;
    WindowThread m_window;  // last: its thread stops before the records go
};

}  // namespace testing_support
