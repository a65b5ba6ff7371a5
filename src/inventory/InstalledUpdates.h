// The names under which Windows records installed updates and components,
// gathered afresh for every evaluation of the catalog, and the rule by which
// a catalog identifier counts as installed.
//
// On Windows 98 the names are the hotfix files of the qfe folders and the
// Active Setup component keys; on every other system they are the key names
// of the Updates, Uninstall and HotFix trees of HKLM, at every depth, without
// the per-update "Filelist" subtrees.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/InstalledNames.h"

// Appends every name for this system to `list` (see above).
void CollectInstalledUpdates(std::vector<std::string>& list);
// Appends `name` when it is not empty, then the name of every key below
// `keyPath` under `root`, depth first, skipping keys named "Filelist" (any
// letter case) and everything below them. A key that cannot be opened adds
// nothing below it.
void CollectKeyTree(HKEY root, const std::string& keyPath, const std::string& name,
                    std::vector<std::string>& list);
// Appends an entry for every file (not folder) in `folder`: its name without
// a leading "kb", cut to six characters. A missing folder adds nothing.
void CollectQfeFiles(const std::string& folder, std::vector<std::string>& list);
// Appends the names of the direct sub-keys of HKLM "Software\Microsoft\Active
// Setup\Installed Components".
void CollectActiveSetupComponents(std::vector<std::string>& list);
