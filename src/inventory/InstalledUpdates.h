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

// True when `identifier`, lower-cased, occurs inside one entry of `list`,
// lower-cased (a substring test). Text is taken character by character in
// the ANSI code page: lower-casing touches single-byte letters only, and a
// match never starts on the second byte of a double-byte character.
bool IsNameInstalled(const std::vector<std::string>& list, const std::string& identifier);

// The list entry for a file found in a qfe folder.
std::string QfeEntryName(const std::string& fileName);
// True for a key that holds a hotfix's file list rather than an update.
bool IsFilelistKey(const std::string& name);
// `text` with its single-byte letters A-Z lower-cased, double-byte
// characters of the ANSI code page left whole.
std::string LowerCaseAnsi(const std::string& text);
// True when `part` occurs in `text` starting at a character boundary.
bool ContainsAnsi(const std::string& text, const std::string& part);
