// Benchmark: the installed-name walk (CollectInstalledUpdates) on a system
// with 5,000 installed-update records (Updates with Filelist subtrees,
// Uninstall entries, HotFix entries), planted with one regedit run and
// removed again afterwards, against its floor: a minimal walk of the same
// three trees (FloorWalk.h), measured in the same rounds.
// Usage: bench_inventory [rounds, default 7]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchRounds.h"
#include "FloorWalk.h"
#include "inventory/InstalledUpdates.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";
const char kUpdates[] = "SOFTWARE\\Microsoft\\Updates";
const char kUpdatesXp[] = "SOFTWARE\\Microsoft\\Updates\\Windows XP";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kHotFix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix";

constexpr int kUpdatesPerServicePack = 1000;  // three service packs
constexpr int kUninstallEntries = 1000;
constexpr int kHotFixEntries = 1000;
constexpr int kRecords = 3 * kUpdatesPerServicePack + kUninstallEntries + kHotFixEntries;

std::string Kb(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "KB%06d", n);
    return name;
}

// The records as Windows XP keeps them, in one REGEDIT4 file (CP949 text).
std::string PlantingScript() {
    std::string reg = "REGEDIT4\r\n\r\n";
    int n = 950000;
    for (const char* sp : {"SP1", "SP2", "SP3"}) {
        for (int i = 0; i < kUpdatesPerServicePack; ++i, ++n) {
            std::string key = std::string("[") + kHklm + kUpdatesXp + "\\" + sp + "\\" + Kb(n);
            reg += key + "]\r\n\"Description\"=\"Windows XP 보안 업데이트 (" + Kb(n) +
                   ")\"\r\n\"InstalledBy\"=\"Administrator\"\r\n\"InstalledDate\"=\"2008-04-15\"\r\n"
                   "\"Type\"=\"Update\"\r\n\r\n";
            for (int file = 0; file < 3; ++file) {
                reg += key + "\\Filelist\\" + std::to_string(file) + "]\r\n\"FileName\"=\"file" +
                       std::to_string(file) + ".dll\"\r\n\"Version\"=\"5.1.2600.3" +
                       std::to_string(n % 1000) + "\"\r\n\"Location\"=\"C:\\\\WINDOWS\\\\system32\"\r\n\r\n";
            }
        }
    }
    for (int i = 0; i < kUninstallEntries; ++i, ++n) {
        reg += std::string("[") + kHklm + kUninstall + "\\" + Kb(n) + "]\r\n\"DisplayName\"=\"Windows XP 핫픽스 - " +
               Kb(n) + "\"\r\n\"UninstallString\"=\"C:\\\\WINDOWS\\\\$NtUninstall" + Kb(n) +
               "$\\\\spuninst\\\\spuninst.exe\"\r\n\"ParentKeyName\"=\"OperatingSystem\"\r\n\r\n";
    }
    for (int i = 0; i < kHotFixEntries; ++i, ++n) {
        std::string key = std::string("[") + kHklm + kHotFix + "\\" + Kb(n);
        reg += key + "]\r\n\"Installed\"=dword:00000001\r\n\"Comments\"=\"Windows XP Hotfix\"\r\n\r\n";
        reg += key + "\\File 1]\r\n\"Flags\"=dword:00000000\r\n\"New File\"=\"system32\\\\file.dll\"\r\n\r\n";
    }
    return reg;
}

// `updatesExisted`: whether the Updates key was there before planting; if
// not, it goes as a whole.
std::string RemovalScript(bool updatesExisted) {
    std::string reg = "REGEDIT4\r\n\r\n";
    reg += std::string("[-") + kHklm + (updatesExisted ? kUpdatesXp : kUpdates) + "]\r\n\r\n";
    for (int n = 950000 + 3 * kUpdatesPerServicePack; n < 950000 + kRecords; ++n) {
        const char* parent = n < 950000 + 3 * kUpdatesPerServicePack + kUninstallEntries ? kUninstall : kHotFix;
        reg += std::string("[-") + kHklm + parent + "\\" + Kb(n) + "]\r\n";
    }
    return reg;
}

bool RunRegedit(const std::string& file) {
    TestProcess regedit("regedit.exe /S \"" + file + "\"", "");
    return regedit.Started() && regedit.WaitExit(300000);
}

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = static_cast<int>(bench::PositiveArgument(argc, argv, 1, 7));
    if (KeyExists(kUpdatesXp) || KeyExists((std::string(kHotFix) + "\\" + Kb(950000 + kRecords - 1)).c_str())) {
        std::fprintf(stderr, "records under the benchmark's names exist already; not touching them\n");
        return 1;
    }

    ScopedTempDir dir("qfbench");
    std::string plant = dir.File("plant.reg");
    std::string remove = dir.File("remove.reg");
    if (!WriteBytes(plant, PlantingScript()) || !WriteBytes(remove, RemovalScript(KeyExists(kUpdates)))) {
        std::fprintf(stderr, "cannot write the registry scripts\n");
        return 1;
    }
    double start = bench::NowMs();
    bool planted = RunRegedit(plant);
    double plantMs = bench::NowMs() - start;

    int status = 0;
    std::vector<std::string> list, floorList;
    CollectInstalledUpdates(list);
    bench::FloorWalk(floorList);
    size_t ours = 0;
    for (const std::string& entry : list) {
        if (entry.compare(0, 4, "KB95") == 0 && entry.size() == 8) ++ours;
    }
    if (!planted || ours != static_cast<size_t>(kRecords) || floorList.size() != list.size()) {
        std::fprintf(stderr, "planting failed: %u of %d records found (floor walk: %u names, ours %u)\n",
                     static_cast<unsigned>(ours), kRecords, static_cast<unsigned>(floorList.size()),
                     static_cast<unsigned>(list.size()));
        status = 1;
    } else {
        std::printf("inventory benchmark: %d installed-update records (Updates %d with Filelist subtrees, "
                    "Uninstall %d, HotFix %d), planted in %.0f ms; %u names; %d rounds\n",
                    kRecords, 3 * kUpdatesPerServicePack, kUninstallEntries, kHotFixEntries, plantMs,
                    static_cast<unsigned>(list.size()), rounds);
        bench::Series walk{"ours", "installed-name walk (CollectInstalledUpdates)", "ms"};
        bench::Series floor{"floor", "minimal walk (open KEY_READ, RegEnumKeyExA, close)", "ms"};
        auto timed = [](void (*collect)(std::vector<std::string>&)) {
            std::vector<std::string> names;
            double t0 = bench::NowMs();
            collect(names);
            return bench::NowMs() - t0;
        };
        if (bench::RunRounds(rounds, {{&walk, [&] { return timed(CollectInstalledUpdates); }},
                                      {&floor, [&] { return timed(bench::FloorWalk); }}})) {
            bench::PrintResult(walk, floor, {}, "<= 1.10");
        } else {
            status = 1;
        }
    }

    if (!RunRegedit(remove) || KeyExists(kUpdatesXp)) {
        std::fprintf(stderr, "removing the planted records failed\n");
        status = 1;
    }
    return status;
}
