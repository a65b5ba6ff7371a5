// The records of update runs (see RunRecords.h).
#include "app/RunRecords.h"

#include <windows.h>

#include <vector>

#include "registry/RegistryKey.h"
#include "win/Handle.h"
#include "win/SystemLibrary.h"
#include "win/WholeFile.h"

namespace {

const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunOnceValue[] = "Quellfix";
const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";
const char kRebootPendingKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending";

// The 64-bit view of the registry for a 32-bit program on 64-bit Windows,
// where the component servicing keeps its records; 0 elsewhere (Windows
// 2000 knows no such flag).
REGSAM NativeView() {
    const SystemLibrary kernel("kernel32.dll");
    const auto isWow64 = QF_OPTIONAL(kernel, IsWow64Process);
    BOOL wow64 = FALSE;
    if (isWow64 && isWow64(::GetCurrentProcess(), &wow64) && wow64) return KEY_WOW64_64KEY;
    return 0;
}

}  // namespace

std::string JournalPath(const std::string& programDir) { return programDir + "\\UPDATES\\quellfix.journal"; }
std::string HistoryPath(const std::string& programDir) { return programDir + "\\UPDATES\\quellfix.history"; }
std::string ChainStatePath(const std::string& programDir) { return programDir + "\\UPDATES\\quellfix.chain"; }

std::string ReadSmallFile(const std::string& path) {
    std::string text;
    // These files hold a line per update: a megabyte is far beyond them.
    ReadWholeFileAt(path, text, 1024 * 1024);
    return text;
}

bool ReplaceSmallFile(const std::string& path, const std::string& text) {
    if (text.empty()) return ::DeleteFileA(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return ReplaceWholeFile(path, text);
}

InstallHistory LoadHistory(const std::string& programDir) {
    return InstallHistory::Parse(ReadSmallFile(HistoryPath(programDir)));
}

void SaveHistory(const std::string& programDir, const InstallHistory& history) {
    ReplaceSmallFile(HistoryPath(programDir), history.Text());
}

bool RegisterChainRunOnce(const std::string& programPath) {
    CRegKeyGuard key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    const std::string command = "\"" + programPath + "\" auto restart";
    return ::RegSetValueExA(key.Get(), kRunOnceValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                            static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
}

void RemoveChainRunOnce() {
    CRegKeyGuard key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS)
        ::RegDeleteValueA(key.Get(), kRunOnceValue);
}

bool ChainRunOnceRegistered() {
    CRegKeyGuard key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExA(key.Get(), kRunOnceValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RestartWindows(const std::string& programDir) {
#ifdef QUELLFIX_RESTART_STANDIN
    // Test builds only: the machine running the tests is not restarted; a
    // marker says the program would have, and the tests restart the Wine
    // session themselves.
    return ReplaceSmallFile(programDir + "\\restart-requested", "restart\r\n");
#else
    (void)programDir;
    KernelHandle token;
    HANDLE raw = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
        token.Reset(raw);
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
            ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    return ::ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_HOTFIX |
                                           SHTDN_REASON_FLAG_PLANNED) != FALSE;
#endif
}

std::string PendingRestartRecords() {
    std::string records;
    {
        CRegKeyGuard key;
        DWORD type = 0, size = 0;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.Receive()) ==
                ERROR_SUCCESS &&
            ::RegQueryValueExA(key.Get(), kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            size > 2)  // more than the empty list's terminating zeros
            records = kPendingRenames;
    }
    CRegKeyGuard key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRebootPendingKey, 0, KEY_QUERY_VALUE | NativeView(),
                        key.Receive()) == ERROR_SUCCESS)
        records += std::string(records.empty() ? "" : ", ") + "RebootPending";
    return records;
}
