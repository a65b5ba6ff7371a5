// Benchmark: how fast DownloadFile fetches a large file from the loopback
// test server, with a window on its own thread handling every progress
// message (as the run window does: one progress-bar update per 512-byte
// read), beside the same transfer without a window and beside curl on Linux
// fetching the same URL. Prints the throughputs and their ratios, and how
// long asking the file's size takes.
//
// Usage: scripts/bench.sh download [size in MB, default 100] [rounds, default 3]
// Each figure is the median of the rounds.
//
// curl is started through Wine as a Unix program; Wine does not let us wait
// for such a process, so curl writes its own measured speed to a file under
// the run's work folder, which this program polls for.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/Download.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "ui/Messages.h"

using namespace testing_support;

namespace {

constexpr double kMB = 1024.0 * 1024.0;

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WriteServedFile(const std::string& path, long long size) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string chunk(1 << 20, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7 + (i >> 9));
    bool ok = true;
    for (long long left = size; left > 0 && ok;) {
        DWORD n =
            static_cast<DWORD>(left < static_cast<long long>(chunk.size()) ? left : chunk.size());
        DWORD written = 0;
        ok = ::WriteFile(file, chunk.data(), n, &written, nullptr) && written == n;
        left -= n;
    }
    return ::CloseHandle(file) && ok;
}

// A window with a progress bar, on a thread of its own, that moves the bar
// for every progress message, like the program's download windows.
class ProgressWindow {
public:
    explicit ProgressWindow(long long total)
        : m_window("Quellfix download benchmark", [this, total](HWND hwnd, UINT msg, WPARAM,
                                                                LPARAM lParam, LRESULT& result) {
              if (msg == WM_CREATE) {
                  m_bar = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0,
                                            180, 20, hwnd, nullptr, nullptr, nullptr);
                  ::SendMessageA(m_bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
                  return false;
              }
              if (msg == WM_DOWNLOAD_PROGRESS) {
                  ++m_messages;
                  ::SendMessageA(m_bar, PBM_SETPOS, static_cast<WPARAM>(lParam), 0);
                  result = 0;
                  return true;
              }
              if (msg == WM_DOWNLOAD_DONE) {
                  m_done = static_cast<int>(lParam);
                  result = 0;
                  return true;
              }
              return false;
          }) {}
    HWND Hwnd() const { return m_window.Hwnd(); }
    long Messages() const { return m_messages; }
    int Done() const { return m_done; }
    int BarPosition() const { return static_cast<int>(::SendMessageA(m_bar, PBM_GETPOS, 0, 0)); }

private:
    std::atomic<long> m_messages{0};
    std::atomic<int> m_done{-1};
    HWND m_bar = nullptr;
    WindowThread m_window;
};

struct Run {
    bool ok = false;
    double seconds = 0;
};

Run TimeDownload(const std::string& url, const std::string& local, HWND notify, long long size) {
    ::DeleteFileA(local.c_str());
    Run run;
    double start = Seconds();
    int result = DownloadFile(url, local, notify);
    run.seconds = Seconds() - start;
    run.ok = result == 1 && FileSize(local) == size;
    ::DeleteFileA(local.c_str());
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// curl's own average speed in bytes per second, or a negative value.
double CurlSpeed(const std::string& url) {
    std::string work = Env("QUELLFIX_TEST_WORK");
    if (work.empty()) return -1;
    std::string result = work + "/curl_speed.txt";
    ::DeleteFileA(WinePath(result).c_str());
    std::string command = "/bin/sh -c \"curl -s -o /dev/null -w '%{speed_download}' '" + url +
                          "' > '" + result + ".tmp' && mv '" + result + ".tmp' '" + result + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string writable = command;
    if (!::CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return -1;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Poll for the result file: the Unix process cannot be waited for.
    if (!WaitFor([&] { return FileExists(WinePath(result)); }, 600000)) return -1;
    double speed = std::atof(ReadBytes(WinePath(result)).c_str());
    ::DeleteFileA(WinePath(result).c_str());
    return speed;
}

}  // namespace

int main(int argc, char** argv) {
    long long megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    if (megabytes <= 0) megabytes = 100;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (rounds <= 0) rounds = 3;
    const long long size = megabytes * (1 << 20);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
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

    std::printf("file: %lld MB (%lld bytes) from %s, median of %d rounds (MB = 2^20 bytes)\n",
                megabytes, size, url.c_str(), rounds);
    std::fflush(stdout);

    std::vector<double> sizeTimes, windowTimes, bareTimes, curlSpeeds;
    long remoteSize = 0;
    long messages = 0;
    int bar = 0;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        // The run window asks the size of every file before fetching it.
        double sizeStart = Seconds();
        remoteSize = GetRemoteFileSize(url);
        sizeTimes.push_back(Seconds() - sizeStart);
        {
            ProgressWindow window(size);
            Run run = TimeDownload(url, local, window.Hwnd(), size);
            ok = ok && run.ok && window.Done() == 1;
            windowTimes.push_back(run.seconds);
            messages = window.Messages();
            bar = window.BarPosition();
        }
        Run bare = TimeDownload(url, local, nullptr, size);
        ok = ok && bare.ok;
        bareTimes.push_back(bare.seconds);
        double curl = CurlSpeed(url);
        if (curl > 0) curlSpeeds.push_back(curl);
    }
    ::DeleteFileA(served.c_str());

    if (!ok) {
        std::fprintf(stderr, "a download failed\n");
        return 1;
    }
    std::printf("GetRemoteFileSize of the same file: %ld bytes in %.1f ms\n", remoteSize,
                Median(sizeTimes) * 1000);
    const double window = size / Median(windowTimes) / kMB;
    const double bare = size / Median(bareTimes) / kMB;
    std::printf(
        "DownloadFile, window thread handling every progress message: %8.1f MB/s"
        " (%.2f s; %ld messages, bar at %d)\n",
        window, Median(windowTimes), messages, bar);
    std::printf(
        "DownloadFile, no window:                                      %8.1f MB/s (%.2f s)\n", bare,
        Median(bareTimes));
    if (curlSpeeds.empty()) {
        std::printf("curl (Linux): not measured\n");
        return 0;
    }
    const double curl = Median(curlSpeeds) / kMB;
    std::printf(
        "curl (Linux):                                                 %8.1f MB/s (%.2f s)\n", curl,
        size / kMB / curl);
    std::printf("ratio DownloadFile with window / curl: %.4f\n", window / curl);
    std::printf("ratio DownloadFile no window / curl:   %.4f\n", bare / curl);
    return 0;
}
