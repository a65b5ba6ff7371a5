// Helpers of the download, installer, run and self-update suites (see
// RunFixtures.h).
#include "support/RunFixtures.h"

#include <sstream>

#include "core/Crypto.h"
#include "core/Text.h"

namespace testing_support {

namespace {
const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kWindowClass[] = "QuellfixTestRecorder";
}  // namespace

const char* const kTestMsiProductCode = QUELLFIX_TEST_MSI_PRODUCT_CODE;

std::string FixtureFile(const std::string& name) {
    return BinaryDir() + "\\tests\\fixtures\\" + name;
}

bool UninstallKeyExists(const std::string& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kUninstallRoot + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void DeleteUninstallKey(const std::string& name) {
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallRoot + name).c_str());
}

int Requests(const std::string& part) {
    int n = 0;
    for (const std::string& line : HttpRequests()) n += line.find(part) != std::string::npos;
    return n;
}

std::string Sha256Hex(const std::string& bytes) {
    Sha256Digest digest{};
    Sha256Of(bytes.data(), bytes.size(), digest);
    return HexText(digest.data(), digest.size(), false);
}

std::vector<std::string> FakeRecord::Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadBytes(m_path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

WindowThread::WindowThread(std::string title, Handler handler)
    : m_title(std::move(title)), m_handler(std::move(handler)) {
    m_ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = ::CreateThread(nullptr, 0, &WindowThread::Run, this, 0, nullptr);
    if (m_thread) ::WaitForSingleObject(m_ready, 10000);
}

WindowThread::~WindowThread() {
    if (m_thread) {
        if (m_hwnd) ::PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
    }
    if (m_ready) ::CloseHandle(m_ready);
}

DWORD WINAPI WindowThread::Run(void* raw) {
    WindowThread* self = static_cast<WindowThread*>(raw);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &WindowThread::Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassA(&wc);  // fails harmlessly when another window registered it
    HWND hwnd = ::CreateWindowExA(0, kWindowClass, self->m_title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                  200, 100, nullptr, nullptr, wc.hInstance, self);
    self->m_hwnd = hwnd;
    ::SetEvent(self->m_ready);
    if (!hwnd) return 1;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}

LRESULT CALLBACK WindowThread::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        CREATESTRUCTA* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    WindowThread* self = reinterpret_cast<WindowThread*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_DESTROY) ::PostQuitMessage(0);
    LRESULT result = 0;
    if (self && self->m_handler && self->m_handler(hwnd, msg, wParam, lParam, result))
        return result;
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

NotifyRecorder::NotifyRecorder()
    : m_window("Quellfix download notifications",
               [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
                   if (msg != WM_DOWNLOAD_PROGRESS && msg != WM_DOWNLOAD_DONE) return false;
                   std::lock_guard<std::mutex> hold(m_lock);
                   m_events.push_back(Event{msg, wParam, lParam});
                   result = 0;
                   return true;
               }) {}

std::vector<LPARAM> NotifyRecorder::Values(UINT msg) const {
    std::vector<LPARAM> values;
    for (const Event& e : Events())
        if (e.msg == msg) values.push_back(e.lParam);
    return values;
}

}  // namespace testing_support
