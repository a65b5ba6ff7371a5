// The check for a newer version of the program at start-up, and the fetch
// and start of its setup program when the user accepts.
#pragma once
#include <windows.h>

#include <string>

#include "core/Text.h"  // VersionNumber
#include "net/Source.h"

// This program's version, as the update server's version file writes it.
extern const char kProgramVersion[];  // "2.000"

// Where the self-update looks, what it opens and where it puts the setup;
// the program passes the build's addresses (DefaultSelfUpdateSite in
// app/Config.h), tests their own.
struct SelfUpdateSite {
    std::string serverBase;  // "http://.../", holds update/version.inf and update/setup.exe
    std::string homePage;    // opened in the browser
    std::string programDir;  // the program's folder: the setup is fetched there as update.exe
    int maxAttempts = 3;     // fetches that succeed without a readable file
    // Where the version file and the setup come from instead of the server
    // (a repository folder); the server at `serverBase` when null.
    FileSource* source = nullptr;
};

// Asks the source for the latest version; when it is newer and the user
// agrees, runs the self-update and returns 1 (the main window then skips
// its initialisation). 0 otherwise. `mainWindow` may be null: then nothing
// is asked and 0 is returned.
int CheckForNewVersion(HWND mainWindow, const SelfUpdateSite& site);

// Opens the home page, fetches the setup program beside this program as
// "update.exe", starts it and closes `mainWindow`. A failed fetch is
// reported with an offer to open the home page. A signed build starts only
// a setup program signed with its key. With a repository the home page is
// not opened: nothing of the self-update reaches the network.
void RunSelfUpdate(HWND mainWindow, const SelfUpdateSite& site);
