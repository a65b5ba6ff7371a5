// Installer recognition (see SilentSwitches.h).
#include "core/SilentSwitches.h"

#include <cstdio>
#include <cstring>

#include "core/Text.h"

namespace {

// The first characters of `value` are `literal`, letter case included; a
// longer value still matches.
bool BeginsWith(const std::string& value, const char* literal) {
    return value.compare(0, std::strlen(literal), literal) == 0;
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

uint32_t PickTranslation(const std::vector<uint32_t>& translations, uint16_t userLanguage) {
    if (translations.empty()) return 0;
    auto firstWhere = [&](auto matches, uint32_t& found) {
        for (uint32_t entry : translations) {
            if (matches(static_cast<uint16_t>(entry & 0xFFFF))) {
                found = entry;
                return true;
            }
        }
        return false;
    };
    auto language = [](uint16_t wanted) { return [wanted](uint16_t lang) { return lang == wanted; }; };
    auto lowByte = [](uint16_t wanted) {
        return [wanted](uint16_t lang) { return (lang & 0xFF) == (wanted & 0xFF); };
    };
    uint32_t found = 0;
    if (firstWhere(language(userLanguage), found)) return found;
    if (firstWhere(lowByte(userLanguage), found)) return found;
    if (firstWhere(language(0), found)) return found;
    if (firstWhere(lowByte(0), found)) return found;
    if (firstWhere(language(9), found)) return found;
    if (firstWhere(lowByte(9), found)) return found;
    return translations.front();
}

SwitchChoice ChooseSwitches(const std::string& catalogCmdLine, const InstallerInfo& info,
                            const std::string& path, bool isWindows98, int msiexecMajor) {
    SwitchChoice choice;
    choice.extension = ExtensionOf(path);
    if (EqualsIgnoringAsciiCase(choice.extension, ".msi")) choice.form = LaunchForm::WindowsInstaller;
    if (EqualsIgnoringAsciiCase(choice.extension, ".msu")) choice.form = LaunchForm::StandaloneUpdate;

    const std::string& installerName = info.hasEngine ? info.engine : info.orgName;
    const std::string& description = info.description;

    if (!catalogCmdLine.empty() && EqualsIgnoringAsciiCase(catalogCmdLine, "none")) {
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
    choice.commandLine = BuildCommandLine(path, choice, msiexecMajor);
    return choice;
}

std::string BuildCommandLine(const std::string& path, const SwitchChoice& choice,
                             int msiexecMajor) {
    std::string quoted = "\"" + path + "\"";
    switch (choice.form) {
        case LaunchForm::WindowsInstaller:
            if (choice.rule == SwitchRule::WindowsInstaller && msiexecMajor > 0 &&
                msiexecMajor < kMsiexecQuietSwitchesSince)
                return "msiexec /i " + quoted + " /qn REBOOT=ReallySuppress";
            return "msiexec /i " + quoted + choice.switches;
        case LaunchForm::StandaloneUpdate:
            return "wusa.exe " + quoted + choice.switches;
        case LaunchForm::Program:
            break;
    }
    return quoted + choice.switches;
}
