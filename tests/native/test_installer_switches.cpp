// Which switches an installer gets, from the catalog's CMDLINE, the system
// and its version-resource strings, and the command line it is started with.
#include <gtest/gtest.h>

#include "core/InstallerRules.h"

namespace {

InstallerInfo Info(const char* description, const char* orgName = "", const char* engine = nullptr) {
    InstallerInfo info;
    info.description = description;
    info.orgName = orgName;
    info.hasEngine = engine != nullptr;
    info.engine = engine ? engine : "";
    return info;
}

TEST(Switches, FirstMatchingRuleDecidesAndThePathIsQuoted) {
    const std::string dir = "C:\\Program Files\\Q F\\UPDATES\\";
    const std::string exe = dir + "kb990401.exe";
    const InstallerInfo iexpress = Info("IExpress Setup", "SFXCAB.EXE");
    const struct {
        const char* name;
        const char* catalog;
        InstallerInfo info;
        std::string path;
        bool windows98;
        SwitchRule rule;
        std::string commandLine;
        size_t diagnostics;
    } cases[] = {
        {"none_any_case", "nOnE", iexpress, exe, false, SwitchRule::CatalogNone, "\"" + exe + "\"", 1},
        {"catalog_beats_windows98", "/passive", iexpress, exe, true, SwitchRule::Catalog,
         "\"" + exe + "\" /passive", 1},
        {"windows98_beats_resource", "", iexpress, exe, true, SwitchRule::Windows98, "\"" + exe + "\" /q:a /r:n", 0},
        {"msi_in_capitals_even_on_98", "", Info(""), dir + "SETUP.MSI", true, SwitchRule::WindowsInstaller,
         "msiexec /i \"" + dir + "SETUP.MSI\" /quiet /norestart", 0},
        {"msu", "", Info(""), dir + "Windows6.0-KB990416-x86.msu", false, SwitchRule::StandaloneUpdate,
         "wusa.exe \"" + dir + "Windows6.0-KB990416-x86.msu\" /quiet /norestart", 0},
        {"iexpress_before_sfxcab", "", iexpress, exe, false, SwitchRule::IExpress, "\"" + exe + "\" /Q", 0},
        {"sfxcab_engine_before_hotfix", "", Info("Hotfix Package for XP", "KB1.exe", "SFXCAB.EXE"), exe, false,
         SwitchRule::SfxCab, "\"" + exe + "\" /quiet /norestart", 0},
        {"empty_engine_hides_orgname", "", Info("Hotfix Package", "SFXCAB.EXE", ""), exe, false,
         SwitchRule::Hotfix, "\"" + exe + "\" /quiet /norestart", 0},
        {"cabinet", "", Info("Win32 Cabinet Self-Extractor"), exe, false, SwitchRule::CabinetExtractor,
         "\"" + exe + "\" /Q", 0},
        {"engine_before_orgname", "", Info("Service Pack Setup", "msiexec.exe", "update.exe"), exe, false,
         SwitchRule::UpdateEngine, "\"" + exe + "\" /quiet /norestart", 0},
        {"msiexec_longer_name", "", Info("Windows Installer", "msiexec.exe.mui"), exe, false, SwitchRule::Msiexec,
         "\"" + exe + "\" /Q", 0},
        {"security_update", "", Info("Security Update for Windows XP (KB1)"), exe, false, SwitchRule::SecurityUpdate,
         "\"" + exe + "\" -q -z", 0},
        {"gdiplus", "", Info("Microsoft GDI+ Detection Tool"), exe, false, SwitchRule::GdiPlusTool,
         "\"" + exe + "\" /Q", 0},
        {"case_matters", "", Info("security update"), exe, false, SwitchRule::Unrecognised, "\"" + exe + "\"", 5},
        {"no_resource_no_extension", "", Info(""), dir + "setup", false, SwitchRule::Unrecognised,
         "\"" + dir + "setup\"", 5},
    };
    for (const auto& c : cases) {
        SwitchChoice choice = ChooseSwitches(c.catalog, c.info, c.path, c.windows98);
        EXPECT_EQ(static_cast<int>(choice.rule), static_cast<int>(c.rule)) << c.name;
        EXPECT_EQ(choice.commandLine, c.commandLine) << c.name;
        EXPECT_EQ(choice.unrecognised, c.rule == SwitchRule::Unrecognised) << c.name;
        EXPECT_EQ(choice.diagnostics.size(), c.diagnostics) << c.name;
    }
}

}  // namespace
