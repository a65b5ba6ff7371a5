// Component and language detection against the live system (see
// Detection.h). Each function asks Windows in the way the detection has
// always asked it; the decisions on the answers are in VersionText.cpp and
// SummaryLine.cpp.
#include "inventory/Detection.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "inventory/OsFacts.h"
#include "inventory/RegistryValues.h"
#include "core/VersionText.h"
#include "win/Handle.h"
#include "win/SystemLibrary.h"
#include "registry/RegistryKey.h"

namespace {

const char kInternetExplorerKey[] = "Software\\Microsoft\\Internet Explorer";
const char kMediaPlayerServerKey[] = "CLSID\\{6BF52A52-394A-11d3-B153-00C04F79FAA6}\\InprocServer32";
const char kIisKey[] = "SOFTWARE\\Microsoft\\InetStp";
const char kDotNet10PolicyKey[] = "Software\\Microsoft\\.NETFramework\\Policy\\v1.0";
const char kDotNet11Key[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v1.1.4322";
const char kDotNet20Key[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";
const char kDotNet30Key[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0";
const char kDotNet30SetupKey[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0\\Setup";
const char kDotNet35Key[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5";

// Buffer sizes the detections read into.
constexpr DWORD kPathBuffer = 1024;
constexpr DWORD kPresenceBuffer = 260;

// The system directory followed by `fileName`; empty when the directory
// cannot be had in the buffer the detections have always used.
std::string SystemFilePath(const char* fileName) {
    char directory[kPathBuffer] = {};
    UINT length = ::GetSystemDirectoryA(directory, kPathBuffer);
    if (length == 0 || length >= kPathBuffer) return std::string();
    return std::string(directory, length) + fileName;
}

bool FileExists(const std::string& path) {
    return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A DWORD value under HKLM that was read and equals 1.
bool RegistryFlagSet(const std::string& keyPath, const char* valueName) {
    DWORD value = 0;
    return ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, valueName, &value, sizeof value) && value == 1;
}

// A service pack value: the number when above 0, else -1 (none).
int ServicePackOrNone(int value) { return value > 0 ? value : -1; }

BOOL CALLBACK KeepLastLanguage(HMODULE, LPCSTR, LPCSTR name, WORD language, LONG_PTR param) {
    if (!name) return FALSE;
    *reinterpret_cast<unsigned short*>(param) = language;
    return TRUE;
}

}  // namespace

int ReadInternetExplorerVersion(const std::string& keyPath) {
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyPath, FALSE, FALSE)) return 0;
    std::string version;
    int major = key.ReadString("Version", version, FALSE) ? MajorFromDottedText(version) : 3;
    key.Close();
    return major;
}

int DetectInternetExplorer() { return ReadInternetExplorerVersion(kInternetExplorerKey); }

std::string DetectMediaPlayer(SystemProfile& p) {
    char path[kPathBuffer] = {};
    bool read = false;
    {
        CRegKeyGuard key;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kMediaPlayerServerKey, 0, KEY_QUERY_VALUE,
                            key.Receive()) == ERROR_SUCCESS) {
            // One byte short of the buffer, so the path always ends.
            DWORD size = kPathBuffer - 1;
            read = ::RegQueryValueExA(key.Get(), nullptr, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS;
        }
    }
    int major = 0, minor = 0, build = 0, revision = 0;
    if (!read || !GetFileVersion(path, major, minor, build, revision)) {
        p.wmpMajor = 0;
        return "0";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", major, minor, build, revision);
    p.wmpMajor = major;
    return text;
}

unsigned short DetectModuleLanguage(const std::string& module) {
    // A bare name is the system's own DLL, loaded from the system folder.
    const std::string path =
        module.find('\\') == std::string::npos ? SystemLibrary::Folder() + "\\" + module : module;
    const ModuleHandle loaded(::LoadLibraryA(path.c_str()));
    if (!loaded.Valid()) return 0;
    unsigned short language = 0;
    ::EnumResourceLanguagesA(loaded.Get(), reinterpret_cast<LPCSTR>(RT_VERSION), MAKEINTRESOURCEA(1),
                             &KeepLastLanguage, reinterpret_cast<LONG_PTR>(&language));
    return language;
}

void DetectLanguage(SystemProfile& p) {
    p.languageId = 0;
    p.languageId = DetectModuleLanguage("kernel32.dll");
}

bool DetectIIS(SystemProfile& p) {
    CRegistryKey key;
    bool found = false;
    if (key.Open(HKEY_LOCAL_MACHINE, kIisKey, FALSE, FALSE)) {
        DWORD major = 0;
        if (key.ReadDWORD("MajorVersion", major)) {
            p.iisVersion = static_cast<int>(major);
            found = true;
        }
    }
    key.Close();
    if (!found) p.iisVersion = -1;
    return found;
}

bool DetectSNMP(SystemProfile& p) {
    bool present = FileExists(SystemFilePath("\\snmp.exe"));
    p.snmpInstalled = present ? 1 : 0;
    return present;
}

int DetectDotNetFramework(SystemProfile& p) {
    p.dotNetVersion = -1;

    char presence[kPresenceBuffer];
    bool has10 = ReadRegistryValue(HKEY_LOCAL_MACHINE, kDotNet10PolicyKey, "3705", presence,
                                   sizeof presence);
    bool has11 = RegistryFlagSet(kDotNet11Key, "Install");
    bool has20 = RegistryFlagSet(kDotNet20Key, "Install");
    bool has30 = has20 && RegistryFlagSet(kDotNet30SetupKey, "InstallSuccess") &&
                 IsRegistryVersionAtLeast(kDotNet30SetupKey, "Version", 3, 0, 4506, 26);
    bool has35 = has30 && RegistryFlagSet(kDotNet35Key, "Install") &&
                 IsRegistryVersionAtLeast(kDotNet35Key, "Version", 3, 5, 21022, 8);

    // Oldest first, so that the newest framework found decides.
    if (has10) {
        p.dotNetVersion = 10;
        p.dotNetServicePack = ServicePackOrNone(GetDotNet10ServicePack());
    }
    if (has11) {
        p.dotNetVersion = 11;
        p.dotNetServicePack = ServicePackOrNone(ReadRegistryDword(kDotNet11Key, "SP"));
    }
    if (has20) {
        p.dotNetVersion = 20;
        p.dotNetServicePack = ServicePackOrNone(ReadRegistryDword(kDotNet20Key, "SP"));
    }
    if (has30) {
        p.dotNetVersion = 30;
        p.dotNetServicePack = ServicePackOrNone(ReadRegistryDword(kDotNet30Key, "SP"));
    }
    if (has35) {
        p.dotNetVersion = 35;
        p.dotNetServicePack = ServicePackOrNone(ReadRegistryDword(kDotNet35Key, "SP"));
    }
    return p.dotNetVersion;
}

bool DetectMediaFormat(SystemProfile& p) {
    p.wmfMajor = p.wmfMinor = p.wmfBuild = p.wmfRevision = 0;
    std::string path = SystemFilePath("\\msscp.dll");
    int major = 0, minor = 0, build = 0, revision = 0;
    if (!FileExists(path) || !GetFileVersion(path, major, minor, build, revision)) return false;
    p.wmfMajor = major;
    p.wmfMinor = minor;
    p.wmfBuild = build;
    p.wmfRevision = revision;
    return true;
}

bool ReadVersionResource(const std::string& path, std::vector<char>& block) {
    block.clear();
    DWORD unused = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &unused);
    if (size == 0) return false;
    block.assign(static_cast<size_t>(size) + 1, '\0');
    if (::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return true;
    block.clear();
    return false;
}

bool GetFileVersion(const std::string& path, int& major, int& minor, int& build, int& revision) {
    major = minor = build = revision = 0;
    std::vector<char> block;
    if (!ReadVersionResource(path, block)) return false;
    void* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\", &fixed, &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    major = HIWORD(info->dwFileVersionMS);
    minor = LOWORD(info->dwFileVersionMS);
    build = HIWORD(info->dwFileVersionLS);
    revision = LOWORD(info->dwFileVersionLS);
    return true;
}

InventoryTexts RunInventory(SystemProfile& p) {
    char name[1024] = {};
    IdentifyOperatingSystem(name, p.osCode, p.osBits, p.servicePack);
    p.ieVersion = DetectInternetExplorer();
    std::string mediaPlayer = DetectMediaPlayer(p);
    DetectLanguage(p);
    bool iis = DetectIIS(p);
    bool snmp = DetectSNMP(p);
    int dotNet = DetectDotNetFramework(p);
    bool mediaFormat = DetectMediaFormat(p);

    InventoryTexts texts;
    texts.osName = name;
    texts.summary = FormatSummaryLine(p, mediaPlayer, iis, snmp, dotNet, mediaFormat);
    return texts;
}
