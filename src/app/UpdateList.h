// Filling the main window's update list from the catalog: the language
// check, then one row per listed entry with its installed state.
#pragma once
#include <string>
#include <vector>

#include "core/SystemProfile.h"
#include "ui/Controls.h"

// Texts of the installed-state column.
extern const char kInstalledText[];     // "설치됨"
extern const char kNotInstalledText[];  // "설치안됨"

// Evaluates the catalog at `path` against `profile` and appends a row per
// listed entry to `list` (which the caller has emptied): title, installed
// state, check box set for a missing update, entry number as item data.
// Installed entries are left out while `hideInstalled` is checked. On a
// language mismatch it tells the user, disables `startButton`, writes no
// row and returns false. `pending`, when given, receives the entry numbers
// of the listed updates that are not installed.
bool FillUpdateList(const std::string& path, const SystemProfile& profile, const ListView& list,
                    const Button& hideInstalled, const Button& startButton,
                    std::vector<int>* pending = nullptr);
