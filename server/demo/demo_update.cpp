// A harmless stand-in for an update package, served by the demo update
// server. It changes nothing on the system: it only records itself as
// installed the way real packages do, under
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<KB name>, so
// that Quellfix lists the update as installed after a run. The value
// "Comments" keeps the switches it was started with, which shows which
// silent switches Quellfix chose for it. Started with /uninstall it removes
// its record again.
//
// One program is built per update: DEMO_KB names the update (KB990001) and
// the version resource (demo_update.rc) makes it look like one kind of
// installer. It opens no window, whatever its switches.
#include <windows.h>

#include <cstdio>
#include <cstring>

#ifndef DEMO_KB
#error "build with DEMO_KB defined to the update's record name, e.g. -DDEMO_KB=KB990001"
#endif
#define DEMO_STRINGIZE2(x) #x
#define DEMO_STRINGIZE(x) DEMO_STRINGIZE2(x)

namespace {

const char kKbName[] = DEMO_STRINGIZE(DEMO_KB);
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// What Windows Installer returns for a failed installation.
const int kInstallFailed = 1603;

// The command line without the program's own name: the installer's switches.
const char* SwitchesOf(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

bool HasSwitch(const char* switches, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* p = switches; *p; ++p) {
        if ((p == switches || p[-1] == ' ' || p[-1] == '\t') && _strnicmp(p, name, length) == 0 &&
            (p[length] == '\0' || p[length] == ' ' || p[length] == '\t')) {
            return true;
        }
    }
    return false;
}

bool SetText(HKEY key, const char* name, const char* value) {
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

int Install(const char* keyPath, const char* switches) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return kInstallFailed;
    }
    char displayName[128];
    std::snprintf(displayName, sizeof displayName, "Quellfix 데모 업데이트 (%s)", kKbName);
    char self[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    char uninstall[MAX_PATH + 32];
    std::snprintf(uninstall, sizeof uninstall, "\"%s\" /uninstall", self);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);

    bool ok = SetText(key, "DisplayName", displayName) && SetText(key, "Publisher", "Quellfix 데모") &&
              SetText(key, "DisplayVersion", "1.0") && SetText(key, "InstallDate", date) &&
              SetText(key, "UninstallString", uninstall) && SetText(key, "Comments", switches);
    ::RegCloseKey(key);
    return ok ? 0 : kInstallFailed;
}

int Uninstall(const char* keyPath) {
    LONG result = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
    return (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) ? 0 : kInstallFailed;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* switches = SwitchesOf(::GetCommandLineA());
    char keyPath[256];
    std::snprintf(keyPath, sizeof keyPath, "%s%s", kUninstallKey, kKbName);
    return HasSwitch(switches, "/uninstall") ? Uninstall(keyPath) : Install(keyPath, switches);
}
