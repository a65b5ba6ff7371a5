// Reading the program's command line and path: the file-name parameter, the
// debug switch and the program directory, from the words and the path the
// Windows side hands over.
#pragma once
#include <string>
#include <vector>

// Everything before the last backslash of `path`; empty when it has none.
std::string DirectoryOfPath(const std::string& path);
// The file-name parameter: the first word that begins with neither '/' nor
// '-'; those are flags. Empty when there is none.
std::string FileNameParameter(const std::vector<std::string>& words);
// True when the file-name parameter is "debug" in any letter case.
bool IsDebugCommandLine(const std::vector<std::string>& words);
// True when it is "auto" in any letter case: an unattended run.
bool IsAutoCommandLine(const std::vector<std::string>& words);
// True for "auto restart" (the second plain word "restart", any case): an
// unattended run that restarts Windows when an installer needs it and goes
// on after the restart.
bool IsRestartChainCommandLine(const std::vector<std::string>& words);
