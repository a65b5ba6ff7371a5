// Gathering the version facts from Windows, and the calls the rest of the
// program makes: IdentifyOperatingSystem and IsWindows98.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "inventory/OsFacts.h"
#include "win/SystemLibrary.h"

namespace {

// GetProductInfo is declared only for Vista's headers and later.
typedef BOOL(WINAPI* ProductInfoFn)(DWORD, DWORD, DWORD, DWORD, PDWORD);

// The structure sizes GetVersionExA knows: OSVERSIONINFOEXA and OSVERSIONINFOA.
constexpr DWORD kExtendedVersionSize = 156;
constexpr DWORD kBasicVersionSize = 148;
static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedVersionSize, "OSVERSIONINFOEXA layout");
static_assert(sizeof(OSVERSIONINFOA) == kBasicVersionSize, "OSVERSIONINFOA layout");

}  // namespace

OsVersionFacts GatherOsFacts() {
    OsVersionFacts facts;
    OSVERSIONINFOEXA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kExtendedVersionSize;
    // Windows 98 and Me, and NT before SP6, know only the plain structure.
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        std::memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = kBasicVersionSize;
        if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return facts;
    }

    facts.versionOk = true;
    facts.major = version.dwMajorVersion;
    facts.minor = version.dwMinorVersion;
    facts.build = version.dwBuildNumber;
    facts.platformId = version.dwPlatformId;
    facts.csd.assign(version.szCSDVersion, strnlen(version.szCSDVersion, sizeof version.szCSDVersion));
    facts.suiteMask = version.wSuiteMask;
    facts.productType = version.wProductType;

    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    const SystemLibrary kernel("kernel32.dll");
    if (const auto native = QF_OPTIONAL(kernel, GetNativeSystemInfo)) {
        native(&info);
    } else {
        ::GetSystemInfo(&info);
    }
    facts.processorArchitecture = info.wProcessorArchitecture;

    if (const auto productInfo = kernel.Find<ProductInfoFn>("GetProductInfo")) {
        DWORD value = 0;
        productInfo(6, 0, 0, 0, &value);
        facts.hasProductInfo = true;
        facts.productValue = value;
    }
    facts.serverR2 = ::GetSystemMetrics(SM_SERVERR2);
    return facts;
}

void IdentifyOperatingSystem(char* name, int& osCode, int& osBits, int& servicePack) {
    osBits = 32;
    OsIdentity start;
    if (name) start.name.assign(name, strnlen(name, kOsNameMaxLength));
    start.osCode = osCode;
    start.servicePack = servicePack;

    OsIdentity id = IdentifyFromFacts(GatherOsFacts(), start);
    if (id.unsupported) std::fputs(kUnsupportedWindowsMessage, stdout);

    if (name && id.name != start.name) {
        std::memcpy(name, id.name.c_str(), id.name.size() + 1);
    }
    osCode = id.osCode;
    osBits = id.osBits;
    servicePack = id.servicePack;
}

bool IsWindows98() {
    char scratch[1024] = {};
    int osCode = 0;
    int osBits = 0;
    int servicePack = 0;
    IdentifyOperatingSystem(scratch, osCode, osBits, servicePack);
    return osCode == 1;
}
