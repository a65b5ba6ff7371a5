// Installer recognition: which string table of a version resource is read,
// which switches make an installer run silently and without restarting
// Windows, and the command line it is started with. Pure functions over the
// catalog's command-line text, the version-resource strings, the path and
// whether the system is Windows 98, so every rule can be checked from a table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Version-resource members are cut to this many characters.
constexpr size_t kInstallerInfoLimit = 1023;

// The strings of an installer's version resource; empty when absent.
struct InstallerInfo {
    std::string description;  // "FileDescription"
    std::string company;      // "CompanyName"
    std::string orgName;      // "OriginalFilename"
    std::string engine;       // "Installer Engine"
    bool hasEngine = false;   // the resource holds "Installer Engine", even an empty one
};

// The table chosen from a version block's translation list (code page in
// the high 16 bits, language in the low 16 bits), for the given user
// default language. The list is searched for, in this order: the user's
// language; an entry whose lowest byte is that of the user's language; the
// neutral language 0, then lowest byte 0; English 9, then lowest byte 9;
// failing all, the first entry. An empty list gives 0.
uint32_t PickTranslation(const std::vector<uint32_t>& translations, uint16_t userLanguage);

// Which rule gave an installer its switches.
enum class SwitchRule {
    CatalogNone = 1,        // the catalog says "none": no switches
    Catalog = 2,            // the catalog's own switches
    Windows98 = 3,          // " /q:a /r:n"
    IExpress = 4,           // description "IExpress Setup..."
    SfxCab = 5,             // installer name "SFXCAB.EXE..."
    Hotfix = 6,             // description "Hotfix Package..."
    CabinetExtractor = 7,   // description "Win32 Cabinet Self-Extractor..."
    UpdateEngine = 8,       // installer name "update.exe..."
    Msiexec = 9,            // installer name "msiexec.exe..."
    SecurityUpdate = 10,    // description "Security Update..."
    GdiPlusTool = 11,       // description "Microsoft GDI+ Detection Tool..."
    WindowsInstaller = 12,  // a ".msi" package
    Unrecognised = 13,      // none of these: no switches
    StandaloneUpdate = 14,  // a ".msu" package
};

// How the installer file is started.
enum class LaunchForm {
    Program,           // the file itself
    WindowsInstaller,  // msiexec /i "file"
    StandaloneUpdate,  // wusa.exe "file"
};

struct SwitchChoice {
    std::string switches;                  // empty, or text that begins with a blank
    std::vector<std::string> diagnostics;  // lines for the diagnostic viewer, formatted
    bool unrecognised = false;             // no rule knew the installer
    SwitchRule rule = SwitchRule::Unrecognised;
    LaunchForm form = LaunchForm::Program;
    std::string extension;    // from the last '.' of the whole path
    std::string commandLine;  // what the installer is started with
};

// The text from the last '.' of the whole path; empty when it has none.
std::string ExtensionOf(const std::string& path);

// The version of Windows Installer that first takes /quiet and /norestart.
// Older ones (Windows 2000, XP before SP2) answer them with their usage box,
// which waits for a click; /qn and REBOOT=ReallySuppress mean the same there
// and to every later version.
constexpr int kMsiexecQuietSwitchesSince = 3;

// Chooses the switches for the installer at `path`. In order: the catalog's
// command-line text ("none" in any case: no switches; other text: a blank and
// that text); a ".msi" package gets " /quiet /norestart" and a ".msu" package
// " /quiet /norestart", as their own programs take them; Windows 98 gets
// " /q:a /r:n"; then the version-resource rules; otherwise the installer is
// unrecognised and gets no switches, with five diagnostic lines naming its
// strings. Also fills in the command line (BuildCommandLine) for the
// installed msiexec's major version `msiexecMajor` (0: not known).
SwitchChoice ChooseSwitches(const std::string& catalogCmdLine, const InstallerInfo& info,
                            const std::string& path, bool isWindows98, int msiexecMajor = 0);

// The command line that starts the installer: the path in double quotes
// followed by the switch text; a package is handed to its program instead
// (msiexec /i "path" for ".msi", wusa.exe "path" for ".msu"). A package
// whose switches are the chosen " /quiet /norestart" is handed to a
// Windows Installer older than kMsiexecQuietSwitchesSince (a known
// `msiexecMajor` below it) as " /qn REBOOT=ReallySuppress"; the switch text
// of the choice stays as it is, and the catalog's own switches are passed
// as written.
std::string BuildCommandLine(const std::string& path, const SwitchChoice& choice,
                             int msiexecMajor = 0);
