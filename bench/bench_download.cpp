// Benchmark: DownloadFile fetching a large file from the loopback test
// server into the run window's file progress bar, handled as the run window
// handles it (the program's ProgressBar moved by every per-read message),
// against its floor measured in the same rounds: the same DownloadFile with
// no window. For reference, the same transfer into the same window whose
// handler does nothing shows what the per-read messages cost by themselves.
// Usage: scripts/bench.sh download [size in MB, default 16] [rounds, default 3]
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchRounds.h"
#include "net/Download.h"
#include "resource.h"
#include "support/TestSupport.h"
#include "ui/Controls.h"
#include "ui/Messages.h"

using namespace testing_support;

namespace {

bool WriteServedFile(const std::string& path, long long size) {
    std::string chunk(1 << 20, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7 + (i >> 9));
    std::string bytes;
    for (long long left = size; left > 0; left -= static_cast<long long>(chunk.size()))
        bytes.append(chunk, 0, static_cast<size_t>(left < 1 << 20 ? left : 1 << 20));
    return WriteBytes(path, bytes);
}

// The run window (its dialog from the program's resources), shown, on a
// thread of its own. With `moveBar` it moves its file progress bar for every
// progress message as the run window does; without, it ignores them.
class RunWindow {
public:
    RunWindow(long long total, bool moveBar) : m_total(total), m_moveBar(moveBar) {
        m_ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = ::CreateThread(nullptr, 0, &RunWindow::Thread, this, 0, nullptr);
        ::WaitForSingleObject(m_ready, 10000);
    }
    ~RunWindow() {
        ::PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
        ::CloseHandle(m_ready);
    }
    HWND Hwnd() const { return m_hwnd; }
    long Messages() const { return m_messages; }
    int BarPosition() const { return m_bar.GetPos(); }

private:
    static DWORD WINAPI Thread(void* raw) {
        RunWindow* self = static_cast<RunWindow*>(raw);
        HWND hwnd = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_RUN), nullptr,
                                         &RunWindow::Proc, reinterpret_cast<LPARAM>(self));
        ::ShowWindow(hwnd, SW_SHOW);
        ::UpdateWindow(hwnd);
        self->m_hwnd = hwnd;
        ::SetEvent(self->m_ready);
        MSG msg;
        while (hwnd && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
        return 0;
    }
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
        if (msg == WM_INITDIALOG) {
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
            RunWindow* self = reinterpret_cast<RunWindow*>(lParam);
            self->m_bar.Attach(::GetDlgItem(hwnd, IDC_PROGRESS_FILE));
            self->m_bar.SetRange32(0, static_cast<int>(self->m_total));
            return TRUE;
        }
        RunWindow* self = reinterpret_cast<RunWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg == WM_DOWNLOAD_PROGRESS && self) {
            ++self->m_messages;
            if (self->m_moveBar) self->m_bar.SetPos(static_cast<int>(lParam));
            return TRUE;
        }
        if (msg == WM_CLOSE) {
            ::DestroyWindow(hwnd);
            ::PostQuitMessage(0);
            return TRUE;
        }
        return FALSE;
    }
    long long m_total;
    bool m_moveBar;
    std::atomic<long> m_messages{0};
    ProgressBar m_bar;
    HANDLE m_ready = nullptr, m_thread = nullptr;
    HWND m_hwnd = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    const long long megabytes = bench::PositiveArgument(argc, argv, 1, 16);
    const int rounds = static_cast<int>(bench::PositiveArgument(argc, argv, 2, 3));
    const long long size = megabytes * (1 << 20);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    const std::string name = "bench_download_" + std::to_string(::GetCurrentProcessId()) + ".bin";
    const std::string served = HttpRoot() + "\\" + name;
    const std::string url = HttpUrl(name);
    if (HttpPort() == 0 || !WriteServedFile(served, size)) {
        std::fprintf(stderr, "cannot serve %s (run through scripts/bench.sh)\n", served.c_str());
        return 1;
    }
    ScopedTempDir dir("qfbench");
    const std::string local = dir.File("download.bin");
    std::printf("file: %lld MB from %s, %d rounds (MB = 2^20 bytes, %lu-byte reads)\n", megabytes,
                url.c_str(), rounds, static_cast<unsigned long>(kDownloadBlock));

    long messages = 0;
    int bar = 0;
    // MB/s of one transfer into `window` (none when null); negative when it failed.
    auto download = [&](RunWindow* window) {
        ::DeleteFileA(local.c_str());
        double t0 = bench::NowMs();
        int result = DownloadFile(url, local, window ? window->Hwnd() : nullptr);
        double seconds = (bench::NowMs() - t0) / 1000;
        bool ok = result == 1 && FileSize(local) == size;
        ::DeleteFileA(local.c_str());
        return ok ? size / seconds / (1 << 20) : -1.0;
    };
    bench::Series ours{"ours", "run window's progress bar, every read", "MB/s"};
    bench::Series floor{"floor", "DownloadFile, no window", "MB/s"};
    bench::Series idle{"ref", "window whose handler does nothing", "MB/s"};
    bool ok = bench::RunRounds(rounds, {{&ours, [&] {
                                             RunWindow window(size, true);
                                             double figure = download(&window);
                                             messages = window.Messages();
                                             bar = window.BarPosition();
                                             return figure;
                                         }},
                                        {&floor, [&] { return download(nullptr); }},
                                        {&idle, [&] {
                                             RunWindow window(size, false);
                                             return download(&window);
                                         }}});
    ::DeleteFileA(served.c_str());
    if (!ok) return 1;
    std::printf("last run window: %ld progress messages, bar at %d of %lld\n", messages, bar, size);
    bench::PrintResult(ours, floor, {&idle}, ">= 0.80");
    return 0;
}
