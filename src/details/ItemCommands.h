// The commands of a row of the update list: the pop-up menu the main window
// shows on a click, and the two commands that show an update's details and
// its web page from the catalog. Checking and unchecking the row are the
// main window's own business; their identifiers live here with the menu.
//
// Layer: details/ may use catalog, ui and core; never app or run.
#pragma once
#include <windows.h>

#include <string>

#define ID_ITEM_DETAILS 100  // show update details
#define ID_ITEM_WEBPAGE 101  // show the update's web page
#define ID_ITEM_CHECK 102    // select this update
#define ID_ITEM_UNCHECK 103  // do not select this update

// A new pop-up menu with the four commands (details and web page, a
// separator, check and uncheck), all plain enabled string items with none
// the default. The caller destroys it; nullptr when it cannot be made.
HMENU BuildItemMenu();

// Reads DESCRIPTION and ARTICLE of catalog entry `entryNumber` (each cut
// after 1022 characters, empty when missing) and shows them in the details
// window, modally over `owner`.
void ShowUpdateDetails(HWND owner, const std::string& catalogPath, int entryNumber);

// Reads ARTICLE of catalog entry `entryNumber` and asks the shell to open it
// (its default verb, shown normally). Whether the shell manages is not
// checked. An entry without an ARTICLE opens nothing.
void OpenUpdateWebPage(const std::string& catalogPath, int entryNumber);
