// Installer recognition and launch (see Launch.h).
#include "run/Launch.h"

#include <cstdio>
#include <cstring>

#include "inventory/Detection.h"
#include "win/Handle.h"

DWORD PickTranslation(const void* versionBlock) {
    void* value = nullptr;
    UINT length = 0;
    if (!versionBlock ||
        !::VerQueryValueA(versionBlock, "\\VarFileInfo\\Translation", &value, &length) || !value)
        return 0;
    std::vector<uint32_t> translations(length / sizeof(uint32_t));
    if (!translations.empty())
        std::memcpy(translations.data(), value, translations.size() * sizeof(uint32_t));
    return PickTranslation(translations, ::GetUserDefaultLangID());
}

int ReadInstallerInfo(const std::string& path, InstallerInfo& info) {
    info = InstallerInfo();
    std::vector<char> block;
    if (!ReadVersionResource(path, block)) return 0;

    DWORD pair = PickTranslation(block.data());
    char table[32];
    std::snprintf(table, sizeof table, "\\StringFileInfo\\%04X%04X\\",
                  static_cast<unsigned>(LOWORD(pair)), static_cast<unsigned>(HIWORD(pair)));

    struct Member {
        const char* name;
        std::string* text;
        bool* present;
    } members[] = {{"FileDescription", &info.description, nullptr},
                   {"CompanyName", &info.company, nullptr},
                   {"OriginalFilename", &info.orgName, nullptr},
                   {"Installer Engine", &info.engine, &info.hasEngine}};
    const char* blockEnd = block.data() + block.size();
    for (const Member& member : members) {
        void* value = nullptr;
        UINT length = 0;
        std::string name = std::string(table) + member.name;
        if (!::VerQueryValueA(block.data(), name.c_str(), &value, &length)) continue;
        if (member.present) *member.present = true;
        if (!value) continue;
        // The length counts characters of the resource's UTF-16 text, not the
        // bytes of its CP949 form; the terminating zero is what ends it.
        const char* text = static_cast<const char*>(value);
        size_t bound = kInstallerInfoLimit;
        if (text >= block.data() && text < blockEnd && static_cast<size_t>(blockEnd - text) < bound)
            bound = static_cast<size_t>(blockEnd - text);
        member.text->assign(text, strnlen(text, bound));
    }
    return 1;
}

int InstalledMsiexecMajor() {
    static const int major = [] {
        char system[MAX_PATH + 1] = {};
        const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 0;
        int version[4] = {};
        const std::string msiexec = std::string(system) + "\\msiexec.exe";
        return GetFileVersion(msiexec, version[0], version[1], version[2], version[3]) ? version[0] : 0;
    }();
    return major;
}

RunResult RunAndWait(const std::string& commandLine, KernelHandle* heldFile,
                     const WaitControl* control) {
    RunResult result;
    // CreateProcessA may write into its command line.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;

    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    const BOOL created = ::CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE,
                                          CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process);
    const DWORD error = created ? 0 : ::GetLastError();
    if (heldFile) heldFile->Close();
    if (!created) {
        result.error = error;
        return result;
    }
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);
    result.started = true;
    if (!control) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
    } else {
        const DWORD kPoll = 100;
        const DWORD started = ::GetTickCount();
        unsigned long long nextReport = control->reportInterval;
        int reports = 0;
        while (::WaitForSingleObject(process.hProcess, kPoll) == WAIT_TIMEOUT) {
            if (control->giveUp && control->giveUp()) {
                result.abandoned = true;
                return result;
            }
            if (control->reportInterval > 0 && ::GetTickCount() - started >= nextReport) {
                nextReport += control->reportInterval;
                if (control->stillRunning) control->stillRunning(++reports);
            }
        }
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) result.exitCode = code;
    return result;
}
