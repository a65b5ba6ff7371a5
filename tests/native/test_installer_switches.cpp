// Which switches an installer gets, from the catalog's CMDLINE, the system
// and its version-resource strings, and the command line it is started with.
#include <gtest/gtest.h>

#include "core/InstallerRules.h"

namespace {

TEST(Switches, FirstMatchingRuleDecidesAndThePathIsQuoted) {
    const std::string dir = "C:\\Program Files\\Q F\\UPDATES\\", exe = dir + "kb990401.exe", q = "\"" + exe + "\"";
    // description, company, orgName, engine, hasEngine
    const InstallerInfo none{}, iexpress{"IExpress Setup", "", "SFXCAB.EXE", ""};
    // `diagnostics`: how many lines go to the diagnostic viewer.
    const struct { const char* name; const char* catalog; InstallerInfo info; std::string path; bool windows98;
                   SwitchRule rule; std::string commandLine; size_t diagnostics; } cases[] = {
        {"none_any_case", "nOnE", iexpress, exe, false, SwitchRule::CatalogNone, q, 1},
        {"catalog_beats_windows98", "/passive", iexpress, exe, true, SwitchRule::Catalog, q + " /passive", 1},
        {"windows98_beats_resource", "", iexpress, exe, true, SwitchRule::Windows98, q + " /q:a /r:n", 0},
        {"msi_in_capitals_even_on_98", "", none, dir + "SETUP.MSI", true, SwitchRule::WindowsInstaller,
         "msiexec /i \"" + dir + "SETUP.MSI\" /quiet /norestart", 0},
        {"msu", "", none, dir + "Windows6.0-KB990416-x86.msu", false, SwitchRule::StandaloneUpdate,
         "wusa.exe \"" + dir + "Windows6.0-KB990416-x86.msu\" /quiet /norestart", 0},
        {"iexpress_before_sfxcab", "", iexpress, exe, false, SwitchRule::IExpress, q + " /Q", 0},
        {"sfxcab_engine_before_hotfix", "", {"Hotfix Package for XP", "", "KB1.exe", "SFXCAB.EXE", true}, exe, false,
         SwitchRule::SfxCab, q + " /quiet /norestart", 0},
        {"empty_engine_hides_orgname", "", {"Hotfix Package", "", "SFXCAB.EXE", "", true}, exe, false,
         SwitchRule::Hotfix, q + " /quiet /norestart", 0},
        {"cabinet", "", {"Win32 Cabinet Self-Extractor", "", "", ""}, exe, false, SwitchRule::CabinetExtractor,
         q + " /Q", 0},
        {"engine_before_orgname", "", {"Service Pack Setup", "", "msiexec.exe", "update.exe", true}, exe, false,
         SwitchRule::UpdateEngine, q + " /quiet /norestart", 0},
        {"msiexec_longer_name", "", {"Windows Installer", "", "msiexec.exe.mui", ""}, exe, false, SwitchRule::Msiexec,
         q + " /Q", 0},
        {"security_update", "", {"Security Update for XP (KB1)", "", "", ""}, exe, false, SwitchRule::SecurityUpdate,
         q + " -q -z", 0},
        {"gdiplus", "", {"Microsoft GDI+ Detection Tool", "", "", ""}, exe, false, SwitchRule::GdiPlusTool,
         q + " /Q", 0},
        {"case_matters", "", {"security update", "", "", ""}, exe, false, SwitchRule::Unrecognised, q, 5},
        {"no_extension", "", none, dir + "setup", false, SwitchRule::Unrecognised, "\"" + dir + "setup\"", 5},
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
