// Which switches an installer gets, from the catalog's CMDLINE, the system
// and its version-resource strings, and the command line it is started with.
#include <gtest/gtest.h>

#include "core/SilentSwitches.h"

namespace {

TEST(Switches, FirstMatchingRuleDecidesAndThePathIsQuoted) {
    using R = SwitchRule;
    const std::string dir = "C:\\Program Files\\Q F\\UPDATES\\";
    // description, company, orgName, engine, hasEngine
    const InstallerInfo none{}, iexpress{"IExpress Setup", "", "SFXCAB.EXE", ""};
    // `file` in `dir`; `commandLine` with @ for its quoted path; `diagnostics`: lines for the diagnostic viewer.
    const struct { const char* name; const char* catalog; InstallerInfo info; const char* file; bool windows98;
                   SwitchRule rule; std::string commandLine; size_t diagnostics; } cases[] = {
        {"none_any_case", "nOnE", iexpress, "a.exe", false, R::CatalogNone, "@", 1},
        {"catalog_beats_windows98", "/passive", iexpress, "a.exe", true, R::Catalog, "@ /passive", 1},
        {"windows98_beats_resource", "", iexpress, "a.exe", true, R::Windows98, "@ /q:a /r:n", 0},
        {"msi_in_capitals_even_on_98", "", none, "SETUP.MSI", true, R::WindowsInstaller, "msiexec /i @ /quiet /norestart", 0},
        {"msu", "", none, "Windows6.0-KB990416-x86.msu", false, R::StandaloneUpdate, "wusa.exe @ /quiet /norestart", 0},
        {"iexpress_before_sfxcab", "", iexpress, "a.exe", false, R::IExpress, "@ /Q", 0},
        {"sfxcab_engine_before_hotfix", "", {"Hotfix Package for XP", "", "KB1.exe", "SFXCAB.EXE", true}, "a.exe", false,
         R::SfxCab, "@ /quiet /norestart", 0},
        {"empty_engine_hides_orgname", "", {"Hotfix Package", "", "SFXCAB.EXE", "", true}, "a.exe", false, R::Hotfix,
         "@ /quiet /norestart", 0},
        {"cabinet", "", {"Win32 Cabinet Self-Extractor", "", "", ""}, "a.exe", false, R::CabinetExtractor, "@ /Q", 0},
        {"engine_before_orgname", "", {"Service Pack Setup", "", "msiexec.exe", "update.exe", true}, "a.exe", false,
         R::UpdateEngine, "@ /quiet /norestart", 0},
        {"msiexec_longer_name", "", {"Windows Installer", "", "msiexec.exe.mui", ""}, "a.exe", false, R::Msiexec, "@ /Q", 0},
        {"security_update", "", {"Security Update for XP (KB1)", "", "", ""}, "a.exe", false, R::SecurityUpdate, "@ -q -z", 0},
        {"gdiplus", "", {"Microsoft GDI+ Detection Tool", "", "", ""}, "a.exe", false, R::GdiPlusTool, "@ /Q", 0},
        {"case_matters", "", {"security update", "", "", ""}, "a.exe", false, R::Unrecognised, "@", 5},
        {"no_extension", "", none, "setup", false, R::Unrecognised, "@", 5},
    };
    for (const auto& c : cases) {
        const std::string path = dir + c.file;
        std::string expected = c.commandLine;
        expected.replace(expected.find('@'), 1, "\"" + path + "\"");
        SwitchChoice choice = ChooseSwitches(c.catalog, c.info, path, c.windows98);
        EXPECT_EQ(static_cast<int>(choice.rule), static_cast<int>(c.rule)) << c.name;
        EXPECT_EQ(choice.commandLine, expected) << c.name;
        EXPECT_EQ(choice.unrecognised, c.rule == R::Unrecognised) << c.name;
        EXPECT_EQ(choice.diagnostics.size(), c.diagnostics) << c.name;
    }
}

// A package is handed to Windows Installer in the form its version takes:
// before 3.0 the quiet switches would stop the run at msiexec's usage box.
// The switch text the run shows stays the chosen one.
TEST(Switches, WindowsInstallerBeforeThreeGetsSwitchesItKnows) {
    const std::string path = "C:\\Q\\UPDATES\\KB1.msi", quoted = "\"" + path + "\"";
    const std::string modern = "msiexec /i " + quoted + " /quiet /norestart";
    const std::string old = "msiexec /i " + quoted + " /qn REBOOT=ReallySuppress";
    const struct { int msiexecMajor; const char* catalog; const char* file; std::string commandLine; } cases[] = {
        {0, "", "KB1.msi", modern},  // version not known: as every later Windows takes it
        {1, "", "KB1.msi", old},
        {2, "", "KB1.MSI", "msiexec /i \"C:\\Q\\UPDATES\\KB1.MSI\" /qn REBOOT=ReallySuppress"},
        {3, "", "KB1.msi", modern},
        {5, "", "KB1.msi", modern},
        {2, "/passive", "KB1.msi", "msiexec /i " + quoted + " /passive"},  // the catalog's own, as written
        {2, "", "KB1.exe", "\"C:\\Q\\UPDATES\\KB1.exe\""},
    };
    for (const auto& c : cases) {
        const std::string file = "C:\\Q\\UPDATES\\" + std::string(c.file);
        const SwitchChoice choice = ChooseSwitches(c.catalog, InstallerInfo{}, file, false, c.msiexecMajor);
        EXPECT_EQ(choice.commandLine, c.commandLine) << c.msiexecMajor << " " << c.file;
        if (!*c.catalog && choice.form == LaunchForm::WindowsInstaller)
            EXPECT_EQ(choice.switches, " /quiet /norestart") << c.msiexecMajor;
    }
}

}  // namespace
