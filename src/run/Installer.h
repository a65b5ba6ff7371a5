// Installer recognition and launch: the strings of an installer's version
// resource, the choice of the switches that make it run silently and without
// restarting Windows, the command line it is started with, and the launch
// that waits for it to end.
//
// The choice is a pure function over plain values (the catalog's command-line
// text, the four version-resource strings, the path and whether the system is
// Windows 98), so every rule can be checked from a table; reading the file
// and starting the process are the thin parts around it.
#pragma once
#include <windows.h>

#include "registry/Handles.h"

#include <functional>
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

// Fills `info` from the version resource of the file at `path`, in the
// string table PickTranslation chooses. Returns 1 when the file has a version
// resource, 0 when it has none or cannot be read; every member is reset
// first, so after 0 they are all empty.
int ReadInstallerInfo(const std::string& path, InstallerInfo& info);

// The language/code-page pair (language in the low 16 bits) whose string
// table is read from a version block returned by GetFileVersionInfoA; 0, the
// table "00000000", when the block has no translation list.
DWORD PickTranslation(const void* versionBlock);
// The same choice over the block's translation list, for the given user
// default language. The list is searched for, in this order: the user's
// language; an entry whose lowest byte is that of the user's language; the
// neutral language 0, then lowest byte 0; English 9, then lowest byte 9;
// failing all, the first entry. An empty list gives 0.
DWORD PickTranslation(const std::vector<DWORD>& translations, WORD userLanguage);

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

// Chooses the switches for the installer at `path`. In order: the catalog's
// command-line text ("none" in any case: no switches; other text: a blank and
// that text); a ".msi" package gets " /quiet /norestart" and a ".msu" package
// " /quiet /norestart", as their own programs take them; Windows 98 gets
// " /q:a /r:n"; then the version-resource rules; otherwise the installer is
// unrecognised and gets no switches, with five diagnostic lines naming its
// strings. Also fills in the command line (BuildCommandLine).
SwitchChoice ChooseSwitches(const std::string& catalogCmdLine, const InstallerInfo& info,
                            const std::string& path, bool isWindows98);

// The command line that starts the installer: the path in double quotes
// followed by the switch text; a package is handed to its program instead
// (msiexec /i "path" for ".msi", wusa.exe "path" for ".msu").
std::string BuildCommandLine(const std::string& path, const SwitchChoice& choice);

struct RunResult {
    bool started = false;    // the process was created
    bool abandoned = false;  // the wait was given up; the process may still run
    DWORD exitCode = 0;      // its exit code; 0 when it was not started or not awaited
};

// What RunAndWait does while the installer runs. Both are called on the
// waiting thread.
struct WaitControl {
    // Asked every fraction of a second; true gives up the wait, leaving the
    // installer running (it is never ended from here).
    std::function<bool()> giveUp;
    // Called after each `reportInterval` milliseconds the installer has run,
    // with the number of intervals so far.
    std::function<void(int)> stillRunning;
    DWORD reportInterval = 5 * 60 * 1000;
};

// Starts `commandLine` hidden, with a console of its own, default security
// and no inherited handles, and waits for it to end, with no time limit
// unless `control` gives the wait up. `heldFile`, when given, is closed as
// soon as the process has been created (or could not be).
RunResult RunAndWait(const std::string& commandLine, KernelHandle* heldFile = nullptr,
                     const WaitControl* control = nullptr);
