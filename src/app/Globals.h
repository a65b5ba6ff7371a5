// Process-wide values written once at start-up and read everywhere after:
// the program directory and the debug switch.
//
// Layer: app/ (start-up, main window, start command) may use every folder below it.
#pragma once
#include <string>
#include <vector>

#include "core/CommandLine.h"  // DirectoryOfPath, IsDebugCommandLine

// The folder of the running program, without a trailing backslash. Every
// file the program keeps beside itself is this folder followed by a name
// that begins with a backslash ("\\quellfix.ini", "\\UPDATES", ...).
extern std::string g_strProgramDir;
// 1 when the command line carries the word "debug".
extern int g_bDebug;
// 1 when it carries the word "auto": an unattended run.
extern int g_bAuto;

// The catalog beside the program: g_strProgramDir followed by "\\quellfix.ini".
std::string CatalogPath();

// The folder of the running module, from GetModuleFileNameA, so that a
// program started by bare name still finds the files beside it.
std::string RunningProgramDirectory();
// The running program's own full path; empty when Windows does not say.
std::string RunningProgramPath();
// 1 when the command line is "auto restart": unattended runs chained
// across the restarts Windows needs.
extern int g_bRestartChain;

// The command-line words after the program name, split by the C runtime.
std::vector<std::string> CommandLineWords();
