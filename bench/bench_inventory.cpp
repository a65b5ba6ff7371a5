// Benchmark: the start-up inventory and one gathering of the installed-update
// list on a system with 5,000 installed-update records (Updates with
// Filelist subtrees, Uninstall entries, HotFix entries), planted with one
// regedit run and removed again afterwards. Prints the median of several
// runs. Usage: bench_inventory [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "inventory/Detection.h"
#include "inventory/InstalledUpdates.h"
#include "support/TestSupport.h"

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
    std::string command = "regedit.exe /S \"" + file + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return false;
    }
    DWORD waited = ::WaitForSingleObject(pi.hProcess, 300000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return waited == WAIT_OBJECT_0;
}

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    if (runs < 1) runs = 1;
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
    double start = Now();
    bool planted = RunRegedit(plant);
    double plantMs = Now() - start;

    int status = 0;
    std::vector<std::string> list;
    CollectInstalledUpdates(list);
    size_t ours = 0;
    for (const std::string& entry : list) {
        if (entry.compare(0, 4, "KB95") == 0 && entry.size() == 8) ++ours;
    }
    if (!planted || ours != static_cast<size_t>(kRecords)) {
        std::fprintf(stderr, "planting failed: %u of %d records found\n", static_cast<unsigned>(ours), kRecords);
        status = 1;
    } else {
        std::vector<double> total, inventory, collect;
        size_t entries = 0;
        for (int run = 0; run < runs; ++run) {
            double t0 = Now();
            SystemProfile profile;
            InventoryTexts texts = RunInventory(profile);
            double t1 = Now();
            std::vector<std::string> names;
            CollectInstalledUpdates(names);
            double t2 = Now();
            inventory.push_back(t1 - t0);
            collect.push_back(t2 - t1);
            total.push_back(t2 - t0);
            entries = names.size();
        }
        std::printf("inventory benchmark: %d installed-update records (Updates %d with Filelist subtrees, "
                    "Uninstall %d, HotFix %d), planted in %.0f ms with one regedit /S\n",
                    kRecords, 3 * kUpdatesPerServicePack, kUninstallEntries, kHotFixEntries, plantMs);
        std::printf("runs: %d; installed-name list: %u entries\n", runs, static_cast<unsigned>(entries));
        std::printf("RunInventory + CollectInstalledUpdates: median %.1f ms (min %.1f, max %.1f)\n", Median(total),
                    *std::min_element(total.begin(), total.end()), *std::max_element(total.begin(), total.end()));
        std::printf("  RunInventory alone:            median %.1f ms\n", Median(inventory));
        std::printf("  CollectInstalledUpdates alone: median %.1f ms\n", Median(collect));
        std::printf("command: scripts/bench.sh inventory %d\n", runs);
    }

    if (!RunRegedit(remove) || KeyExists(kUpdatesXp)) {
        std::fprintf(stderr, "removing the planted records failed\n");
        status = 1;
    }
    return status;
}
