// The test LogViewer window (see LogViewerWindow.h).
#include "support/LogViewerWindow.h"

namespace testing_support {

namespace {
// A block is copied whole up to this size; no sender should ever come near.
constexpr DWORD kLargestBlock = 1 << 20;
}  // namespace

bool ViewerBlock::ZeroPadded() const {
    size_t end = bytes.find('\0');
    if (end == std::string::npos) return false;
    return bytes.find_first_not_of('\0', end) == std::string::npos;
}

LogViewerWindow::LogViewerWindow(const std::string& title)
    : m_window(title, [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
          if (msg != WM_COPYDATA) return false;
          const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
          ViewerBlock block;
          block.sender = wParam;
          if (data) {
              block.tag = data->dwData;
              block.size = data->cbData;
              if (data->lpData && data->cbData <= kLargestBlock)
                  block.bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
          }
          std::lock_guard<std::mutex> hold(m_lock);
          m_blocks.push_back(block);
          result = TRUE;
          return true;
      }) {}

std::vector<ViewerBlock> LogViewerWindow::Blocks() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_blocks;
}

std::vector<std::string> LogViewerWindow::Lines() const {
    std::vector<std::string> lines;
    for (const ViewerBlock& block : Blocks()) lines.push_back(block.Text());
    return lines;
}

}  // namespace testing_support
