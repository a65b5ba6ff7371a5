// Benchmark: time from starting Quellfix.exe to a filled update list, for a
// 300-entry catalog on a system with 5,000 installed-update records, against
// its floor measured in the same rounds: floor_dialog.exe (the same main
// window from the program's resources, started and shown the same way,
// which walks the same registry trees minimally and writes the same number
// of plain rows). A reference run of the same floor also makes the catalog
// reads every entry requires, one profile-string call per value, which no
// start of the program can avoid.
// Run with: scripts/bench.sh startup [rounds] [entries]
// (entries above 10,000 are cut to 10,000 by the program, as for any catalog)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchRounds.h"
#include "app/Config.h"
#include "inventory/Detection.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

const int kUpdates = 2000, kUninstall = 2000, kHotFix = 1000;  // 5,000 records

bool RunRegedit(const std::string& regFile) {
    TestProcess regedit("regedit /S \"" + regFile + "\"", "");
    return regedit.Started() && regedit.WaitExit(600000);
}

std::string KbName(int i) { return "KB" + std::to_string(960000 + i); }

void PlantRecords(const std::string& regFile, bool remove) {
    std::string reg = "REGEDIT4\r\n\r\n";
    const char* m = remove ? "-" : "";
    if (remove) {
        reg += "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Updates\\QFBench Windows XP]\r\n";
    } else {
        for (int i = 0; i < kUpdates; ++i) {
            std::string base = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Updates\\QFBench Windows XP\\SP" +
                               std::to_string(2 + i % 2) + "\\" + KbName(i);
            reg += base + "]\r\n\"Description\"=\"Security Update\"\r\n";
            reg += base + "\\Filelist\\0]\r\n\"FileName\"=\"file.dll\"\r\n";
        }
    }
    for (int i = 0; i < kUninstall; ++i)
        reg += std::string("[") + m + "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QFBench-" +
               KbName(kUpdates + i) + "]\r\n" + (remove ? "" : "\"DisplayName\"=\"update\"\r\n");
    for (int i = 0; i < kHotFix; ++i)
        reg += std::string("[") + m + "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix\\QFBench-" +
               KbName(kUpdates + kUninstall + i) + "]\r\n" + (remove ? "" : "\"Installed\"=dword:00000001\r\n");
    WriteBytes(regFile, reg);
    RunRegedit(regFile);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int kEntries = argc > 2 ? std::min(10000, std::max(2, std::atoi(argv[2]))) : 300;
    ScopedTempDir dir("qf bench ");
    std::string exe = dir.File("Quellfix.exe");
    if (!::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE)) {
        std::printf("Quellfix.exe not found under %s\n", BinaryDir().c_str());
        return 1;
    }
    SystemProfile profile;
    DetectLanguage(profile);
    // Every other entry is installed (found among the records), so with
    // installed updates hidden 150 rows are listed.
    std::string catalog = "[INFO]\r\nCOUNT=" + std::to_string(kEntries) +
                          "\r\nLANGUAGE=" + std::to_string(profile.languageId & 0x3FF) + "\r\n";
    for (int i = 1; i <= kEntries; ++i) {
        catalog += "[" + std::to_string(i) + "]\r\nTITLE=업데이트 " + std::to_string(i) +
                   "\r\nIEVER=0\r\nSPVER=-1\r\nREGKEY=" +
                   (i % 2 ? KbName(i * 13 % (kUpdates + kUninstall + kHotFix)) : "KB1" + std::to_string(i)) + "\r\n";
    }
    WriteBytes(dir.File("quellfix.ini"), catalog);
    const int expectedRows = kEntries / 2;

    std::printf("planting %d installed-update records...\n", kUpdates + kUninstall + kHotFix);
    PlantRecords(dir.File("plant.reg"), false);

    std::string caption = std::string("Quellfix 2.0 - ") + kHomePage;
    // Milliseconds from the start of `command` to its window's list holding
    // the expected rows; negative when it never does.
    auto startToList = [&](const std::string& command) {
        double t0 = bench::NowMs();
        TestProcess app(command, dir.Path());
        HWND main = nullptr;
        bool filled = WaitFor([&] {
            if (!main) main = FindProcessDialog(app.Pid(), caption);
            return main && ::SendMessageA(::GetDlgItem(main, 1006), LVM_GETITEMCOUNT, 0, 0) == expectedRows;
        }, 600000);
        double ms = bench::NowMs() - t0;
        if (main) ::PostMessageA(main, WM_CLOSE, 0, 0);
        app.WaitExit(30000);
        return filled ? ms : -1.0;
    };
    std::printf("start to filled list: %d entries, %d rows, %d records; %d rounds\n", kEntries,
                expectedRows, kUpdates + kUninstall + kHotFix, rounds);
    bench::Series ours{"ours", "Quellfix.exe debug, start to filled list", "ms"};
    bench::Series floor{"floor", "floor_dialog.exe (same window, floor walk, rows)", "ms"};
    bench::Series reads{"ref", "floor_dialog.exe plus the catalog reads", "ms"};
    const std::string floorCommand =
        "\"" + BinaryDir() + "\\bench\\floor_dialog.exe\" " + std::to_string(expectedRows);
    bool ok = bench::RunRounds(rounds, {{&ours, [&] { return startToList("\"" + exe + "\" debug"); }},
                                        {&floor, [&] { return startToList(floorCommand); }},
                                        {&reads, [&] {
                                             return startToList(floorCommand + " \"" + dir.File("quellfix.ini") + "\"");
                                         }}});
    PlantRecords(dir.File("remove.reg"), true);
    if (!ok) return 1;
    bench::PrintResult(ours, floor, {&reads}, "<= 1.20");
    return 0;
}
