// Installer recognition and launch (see Installer.h).
#include "run/Installer.h"

#include <cstdio>
#include <cstring>

#include "registry/Handles.h"

namespace {

// The first characters of `value` are `literal`, letter case included; a
// longer value still matches.
bool BeginsWith(const std::string& value, const char* literal) {
    return value.compare(0, std::strlen(literal), literal) == 0;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The whole text equals `literal` in any letter case (ASCII letters only, so
// CP949 bytes never fold).
bool EqualsAnyCase(const std::string& value, const char* literal) {
    size_t length = std::strlen(literal);
    if (value.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (AsciiLower(value[i]) != AsciiLower(literal[i])) return false;
    }
    return true;
}

const char* const kSilentRestartless = " /quiet /norestart";

void Choose(SwitchChoice& choice, SwitchRule rule, const char* switches) {
    choice.rule = rule;
    choice.switches = switches;
}

std::string Format(const char* format, const std::string& a, const std::string& b = "") {
    // Lines are as long as their strings make them; the viewer cuts them.
    int needed = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    if (needed < 0) return std::string();
    std::vector<char> text(static_cast<size_t>(needed) + 1);
    std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str());
    return std::string(text.data(), static_cast<size_t>(needed));
}


}  // namespace

std::string ExtensionOf(const std::string& path) {
    std::string::size_type dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

DWORD PickTranslation(const std::vector<DWORD>& translations, WORD userLanguage) {
    if (translations.empty()) return 0;
    auto firstWhere = [&](auto matches, DWORD& found) {
        for (DWORD entry : translations) {
            if (matches(static_cast<WORD>(entry & 0xFFFF))) {
                found = entry;
                return true;
            }
        }
        return false;
    };
    auto language = [](WORD wanted) { return [wanted](WORD lang) { return lang == wanted; }; };
    auto lowByte = [](WORD wanted) {
        return [wanted](WORD lang) { return (lang & 0xFF) == (wanted & 0xFF); };
    };
    DWORD found = 0;
    if (firstWhere(language(userLanguage), found)) return found;
    if (firstWhere(lowByte(userLanguage), found)) return found;
    if (firstWhere(language(0), found)) return found;
    if (firstWhere(lowByte(0), found)) return found;
    if (firstWhere(language(9), found)) return found;
    if (firstWhere(lowByte(9), found)) return found;
    return translations.front();
}

DWORD PickTranslation(const void* versionBlock) {
    void* value = nullptr;
    UINT length = 0;
    if (!versionBlock ||
        !::VerQueryValueA(versionBlock, "\\VarFileInfo\\Translation", &value, &length) || !value)
        return 0;
    std::vector<DWORD> translations(length / sizeof(DWORD));
    if (!translations.empty())
        std::memcpy(translations.data(), value, translations.size() * sizeof(DWORD));
    return PickTranslation(translations, ::GetUserDefaultLangID());
}

int ReadInstallerInfo(const std::string& path, InstallerInfo& info) {
    info = InstallerInfo();
    DWORD unused = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &unused);
    if (size == 0) return 0;
    // One zero byte past the block, so every string in it ends inside it.
    std::vector<char> block(static_cast<size_t>(size) + 1, '\0');
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return 0;

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

SwitchChoice ChooseSwitches(const std::string& catalogCmdLine, const InstallerInfo& info,
                            const std::string& path, bool isWindows98) {
    SwitchChoice choice;
    choice.extension = ExtensionOf(path);
    if (EqualsAnyCase(choice.extension, ".msi")) choice.form = LaunchForm::WindowsInstaller;
    if (EqualsAnyCase(choice.extension, ".msu")) choice.form = LaunchForm::StandaloneUpdate;

    const std::string& installerName = info.hasEngine ? info.engine : info.orgName;
    const std::string& description = info.description;

    if (!catalogCmdLine.empty() && EqualsAnyCase(catalogCmdLine, "none")) {
        Choose(choice, SwitchRule::CatalogNone, "");
        choice.diagnostics.push_back(Format("[ALREADY SETTED] %s [NONE]", path));
    } else if (!catalogCmdLine.empty()) {
        choice.rule = SwitchRule::Catalog;
        choice.switches = " " + catalogCmdLine;
        choice.diagnostics.push_back(Format("[ALREADY SETTED] %s [%s]", path, choice.switches));
    } else if (choice.form == LaunchForm::WindowsInstaller) {
        // Packages come before the system and version-resource rules: their
        // program (msiexec, wusa) takes only its own switches, and an unknown
        // one makes it show a usage box that stops a silent run.
        Choose(choice, SwitchRule::WindowsInstaller, kSilentRestartless);
    } else if (choice.form == LaunchForm::StandaloneUpdate) {
        Choose(choice, SwitchRule::StandaloneUpdate, kSilentRestartless);
    } else if (isWindows98) {
        Choose(choice, SwitchRule::Windows98, " /q:a /r:n");
    } else if (BeginsWith(description, "IExpress Setup")) {
        Choose(choice, SwitchRule::IExpress, " /Q");
    } else if (BeginsWith(installerName, "SFXCAB.EXE")) {
        Choose(choice, SwitchRule::SfxCab, kSilentRestartless);
    } else if (BeginsWith(description, "Hotfix Package")) {
        Choose(choice, SwitchRule::Hotfix, kSilentRestartless);
    } else if (BeginsWith(description, "Win32 Cabinet Self-Extractor")) {
        Choose(choice, SwitchRule::CabinetExtractor, " /Q");
    } else if (BeginsWith(installerName, "update.exe")) {
        Choose(choice, SwitchRule::UpdateEngine, kSilentRestartless);
    } else if (BeginsWith(installerName, "msiexec.exe")) {
        Choose(choice, SwitchRule::Msiexec, " /Q");
    } else if (BeginsWith(description, "Security Update")) {
        Choose(choice, SwitchRule::SecurityUpdate, " -q -z");
    } else if (BeginsWith(description, "Microsoft GDI+ Detection Tool")) {
        Choose(choice, SwitchRule::GdiPlusTool, " /Q");
    } else {
        Choose(choice, SwitchRule::Unrecognised, "");
        choice.unrecognised = true;
        choice.diagnostics.push_back(Format("%s [%s]", path, choice.extension));
        choice.diagnostics.push_back(Format(" - productname [%s]", info.description));
        choice.diagnostics.push_back(Format(" - companyname [%s]", info.company));
        choice.diagnostics.push_back(Format(" - orgname [%s]", info.orgName));
        choice.diagnostics.push_back(Format(" - installer engine [%s]", info.engine));
    }
    choice.commandLine = BuildCommandLine(path, choice);
    return choice;
}

std::string BuildCommandLine(const std::string& path, const SwitchChoice& choice) {
    std::string quoted = "\"" + path + "\"";
    switch (choice.form) {
        case LaunchForm::WindowsInstaller:
            return "msiexec /i " + quoted + choice.switches;
        case LaunchForm::StandaloneUpdate:
            return "wusa.exe " + quoted + choice.switches;
        case LaunchForm::Program:
            break;
    }
    return quoted + choice.switches;
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
    if (heldFile) heldFile->Close();
    if (!created) return result;
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
