// Helpers of the download, installer and diagnostic-output suites (see
// RunFixtures.h).
#include "support/RunFixtures.h"

#include <winsock2.h>

#include <sstream>

#include "ui/Messages.h"

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

FakeRecord::FakeRecord() : m_dir("qfrec"), m_path(m_dir.File("record.txt")) {
    ::SetEnvironmentVariableA("QUELLFIX_FAKE_RECORD", m_path.c_str());
}

FakeRecord::~FakeRecord() { ::SetEnvironmentVariableA("QUELLFIX_FAKE_RECORD", nullptr); }

std::vector<std::string> FakeRecord::Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadBytes(m_path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

int UnusedLoopbackPort() {
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
    int port = 0;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int size = sizeof address;
        if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        ::closesocket(s);
    }
    ::WSACleanup();
    return port;
}

WindowThread::WindowThread(std::string title, Handler handler)
    : m_title(std::move(title)), m_handler(std::move(handler)) {
    m_ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = ::CreateThread(nullptr, 0, &WindowThread::Run, this, 0, nullptr);
    if (m_thread) ::WaitForSingleObject(m_ready, 10000);
}

WindowThread::~WindowThread() {
    Close();
    if (m_ready) ::CloseHandle(m_ready);
}

void WindowThread::Close() {
    if (!m_thread) return;
    if (m_hwnd) ::PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(m_thread, INFINITE);
    ::CloseHandle(m_thread);
    m_thread = nullptr;
    m_hwnd = nullptr;
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

std::vector<NotifyRecorder::Event> NotifyRecorder::Events() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_events;
}

std::vector<LPARAM> NotifyRecorder::Progress() const {
    std::vector<LPARAM> values;
    for (const Event& e : Events())
        if (e.msg == WM_DOWNLOAD_PROGRESS) values.push_back(e.lParam);
    return values;
}

std::vector<LPARAM> NotifyRecorder::Done() const {
    std::vector<LPARAM> values;
    for (const Event& e : Events())
        if (e.msg == WM_DOWNLOAD_DONE) values.push_back(e.lParam);
    return values;
}

}  // namespace testing_support
