// Benchmark: the peak working set (PeakWorkingSetSize) of Quellfix.exe during
// an unattended six-item run (catalog from the test server, six downloads and
// installs of a fake installer), against its floor measured in the same
// rounds: floor_dialog.exe, the same main window with six plain rows, until
// its list is filled. The goal is absolute: ours within 16 MB.
// Usage: scripts/bench.sh memory [rounds, default 3]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "BenchRounds.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

constexpr int kItems = 6;

// The highest peak working set seen, in MB, polling `pid` until `done` holds
// (or it ends); negative when it was never read or `done` never held.
double PeakWhile(DWORD pid, const std::function<bool()>& done) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
    if (!process) return -1;
    SIZE_T peak = 0;
    bool held = false;
    auto read = [&] {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (::GetProcessMemoryInfo(process, &counters, sizeof counters) && counters.PeakWorkingSetSize > peak)
            peak = counters.PeakWorkingSetSize;
    };
    for (DWORD waited = 0; waited < 300000; waited += 20) {
        read();
        if ((held = done())) {
            read();
            break;
        }
        if (::WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
            held = done();
            break;
        }
    }
    ::CloseHandle(process);
    return held && peak ? peak / 1048576.0 : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = static_cast<int>(bench::PositiveArgument(argc, argv, 1, 3));
    if (HttpPort() == 0) {
        std::fprintf(stderr, "no test server (run through scripts/bench.sh)\n");
        return 1;
    }
    ProgramFolder program;
    FakeRecord record;
    program.keys = {"KB990407"};  // what the fake installer records
    std::string entries;
    for (int i = 1; i <= kItems; ++i) {
        std::string file = "mem_" + std::to_string(i) + ".exe";
        program.Serve("fake_security.exe", file);
        entries += "[" + std::to_string(i) + "]\r\nTITLE=업데이트 " + std::to_string(i) + "\r\nFILENAME=" + file +
                   "\r\nURL=" + HttpUrl(file) + "\r\nREGKEY=QFMEM" + std::to_string(i) + "\r\n";
    }
    // The catalog on the server for whatever OS code this Wine reports.
    const std::string catalog = CatalogText(entries, kItems);
    for (const char* sub : {"\\update", "\\update\\v2"}) ::CreateDirectoryA((HttpRoot() + sub).c_str(), nullptr);
    for (int code = 0; code <= 7; ++code)
        for (int bits : {32, 64})
            program.ServeBytes("update\\v2\\" + std::to_string(code) + "_" + std::to_string(bits) + "_" +
                                   std::to_string(SystemLanguage()) + ".ini",
                               catalog);
    const std::string exe = program.dir.File("Quellfix.exe");
    if (!::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE)) return 1;
    const std::string floorExe = BinaryDir() + "\\bench\\floor_dialog.exe";

    std::printf("peak working set: Quellfix.exe auto, %d items; %d rounds\n", kItems, rounds);
    bench::Series ours{"ours", "Quellfix.exe auto, six-item run", "MB"};
    bench::Series floor{"floor", "floor_dialog.exe, same window, six rows", "MB"};
    size_t starts = 0;
    auto run = [&] {
        RemoveTree(program.dir.File("UPDATES"));
        TestProcess app("\"" + exe + "\" auto", program.dir.Path());
        double mb = PeakWhile(app.Pid(), [&] { return app.ExitCode() != STILL_ACTIVE; });
        // Every item's installer must have run for the figure to count.
        size_t started = record.Lines().size();
        bool all = started - starts == kItems;
        starts = started;
        return all ? mb : -1.0;
    };
    auto floorRun = [&] {
        TestProcess app("\"" + floorExe + "\" " + std::to_string(kItems), program.dir.Path());
        HWND main = nullptr;
        double mb = PeakWhile(app.Pid(), [&] {
            if (!main) main = FindProcessDialog(app.Pid(), MainWindowCaption());
            return main && ::SendMessageA(::GetDlgItem(main, 1006), LVM_GETITEMCOUNT, 0, 0) == kItems;
        });
        if (main) ::PostMessageA(main, WM_CLOSE, 0, 0);
        app.WaitExit(30000);
        return mb;
    };
    bool ok = bench::RunRounds(rounds, {{&ours, run}, {&floor, floorRun}});
    if (!ok) return 1;
    bench::PrintResult(ours, floor, {}, "ours <= 16 MB");
    return 0;
}
