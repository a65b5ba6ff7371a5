// Detecting what the catalog entries are targeted at: the versions of
// Internet Explorer, Windows Media Player, the .NET Framework and Windows
// Media Format, whether IIS and SNMP are present, and the language edition
// of Windows; and the one-line system summary the main window shows.
//
// Every detection runs once at start and writes its own fields of the
// SystemProfile. None reports an error: whatever cannot be read gives the
// field's value for "absent or unknown".
//
// Layer: inventory/ may use registry and core; no window code.
#pragma once
#include <string>
#include <vector>

#include "core/SummaryLine.h"
#include "core/SystemProfile.h"

// The value for ieVersion: the major version from the "Version" value of
// Internet Explorer's key under HKLM; 3 when the key has no such value, 0
// when the key cannot be opened.
int DetectInternetExplorer();
// The same for the key at `keyPath` under HKLM.
int ReadInternetExplorerVersion(const std::string& keyPath);

// The Media Player's file version as "%d.%d.%d.%d", or "0" when its COM
// server path cannot be read or the file has no version; sets wmpMajor.
std::string DetectMediaPlayer(SystemProfile& p);

// Sets languageId to the last language of kernel32.dll's version resource.
void DetectLanguage(SystemProfile& p);
// The last language EnumResourceLanguagesA lists for the version resource
// (RT_VERSION, name 1) of `module`; 0 when the module cannot be loaded or
// has none.
unsigned short DetectModuleLanguage(const std::string& module);

// Sets iisVersion from HKLM "SOFTWARE\Microsoft\InetStp" "MajorVersion";
// -1 and false when the key or the value is missing.
bool DetectIIS(SystemProfile& p);
// Sets snmpInstalled: 1 and true when snmp.exe is in the system directory.
bool DetectSNMP(SystemProfile& p);
// Sets dotNetVersion (10, 11, 20, 30, 35 or -1) to the newest framework
// found and dotNetServicePack to its service pack (-1 for none); returns
// dotNetVersion.
int DetectDotNetFramework(SystemProfile& p);
// Sets the four wmf fields from msscp.dll's file version in the system
// directory; all four 0 and false when it is missing or has no version.
bool DetectMediaFormat(SystemProfile& p);


// The four 16-bit parts of a file's fixed file version. False, with all four
// 0, when the file is missing or has no version resource.
bool GetFileVersion(const std::string& path, int& major, int& minor, int& build, int& revision);
// The version resource of the file at `path`, with one zero byte past it so
// that every string in it ends inside it; false (and `block` empty) when the
// file has none or it cannot be read.
bool ReadVersionResource(const std::string& path, std::vector<char>& block);


// The whole start-up inventory, in the order the main window runs it: OS
// identification, Internet Explorer, Media Player, language, IIS, SNMP,
// .NET Framework, Media Format. Fills `p` (which starts as a fresh profile)
// and gives the OS name and the summary line.
struct InventoryTexts {
    std::string osName;
    std::string summary;
};
InventoryTexts RunInventory(SystemProfile& p);
