// The OS identification proper: from version facts to display name, OS code,
// bit width and service pack. No Windows header here on purpose; the facts
// are gathered on the Windows side.
#include "core/OsIdentity.h"

#include <cstdio>

#include "core/VersionText.h"

const char kUnsupportedWindowsMessage[] = "This program does not support this version of Windows.\n";

namespace {

constexpr unsigned long kPlatformWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr unsigned long kPlatformNT = 2;       // VER_PLATFORM_WIN32_NT
constexpr unsigned kWorkstation = 1;           // VER_NT_WORKSTATION
constexpr unsigned kArchIntel = 0;
constexpr unsigned kArchIA64 = 6;
constexpr unsigned kArchAMD64 = 9;
constexpr unsigned kSuiteEnterprise = 0x2;
constexpr unsigned kSuiteDatacenter = 0x80;
constexpr unsigned kSuitePersonal = 0x200;
constexpr unsigned kSuiteBlade = 0x400;
constexpr unsigned kSuiteStorageServer = 0x2000;
constexpr unsigned kSuiteComputeServer = 0x4000;

// Edition texts of Windows Vista and Server 2008 by GetProductInfo value;
// values not listed add nothing.
const char* ProductEdition(unsigned long value) {
    switch (value) {
    case 1: return "Ultimate Edition";
    case 2: return "Home Basic Edition";
    case 3: return "Home Premium Edition";
    case 4: return "Enterprise Edition";
    case 6: return "Business Edition";
    case 7: return "Standard Edition";
    case 8: return "Datacenter Edition";
    case 9: return "Small Business Server";
    case 10: return "Enterprise Edition";
    case 11: return "Starter Edition";
    case 12: return "Datacenter Edition (core installation)";
    case 13: return "Standard Edition (core installation)";
    case 14: return "Enterprise Edition (core installation)";
    case 15: return "Enterprise Edition for Itanium-based Systems";
    case 17: return "Web Server Edition";
    case 18: return "Cluster Server Edition";
    case 25: return "Small Business Server Premium Edition";
    default: return "";
    }
}

// The name lives in a 256-byte buffer in the program: every copy and append
// is cut at 255 characters, after which appends add nothing.
void CopyName(std::string& name, const std::string& text) {
    name = text.substr(0, kOsNameMaxLength);
}

void AppendName(std::string& name, const std::string& text) {
    if (name.size() >= kOsNameMaxLength) return;
    name += text.substr(0, kOsNameMaxLength - name.size());
}

// Windows Server 2003 family editions, chosen by architecture and suite.
const char* Server2003Edition(const OsVersionFacts& f) {
    if (f.processorArchitecture == kArchIA64) {
        if (f.suiteMask & kSuiteDatacenter) return "Datacenter Edition for Itanium-based Systems";
        if (f.suiteMask & kSuiteEnterprise) return "Enterprise Edition for Itanium-based Systems";
        return "";
    }
    if (f.processorArchitecture == kArchAMD64) {
        if (f.suiteMask & kSuiteDatacenter) return "Datacenter x64 Edition";
        if (f.suiteMask & kSuiteEnterprise) return "Enterprise x64 Edition";
        return "Standard x64 Edition";
    }
    if (f.suiteMask & kSuiteComputeServer) return "Compute Cluster Edition";
    if (f.suiteMask & kSuiteDatacenter) return "Datacenter Edition";
    if (f.suiteMask & kSuiteEnterprise) return "Enterprise Edition";
    if (f.suiteMask & kSuiteBlade) return "Web Edition";
    return "Standard Edition";
}

void IdentifyNT(const OsVersionFacts& f, OsIdentity& id) {
    CopyName(id.name, "Microsoft ");

    if (f.major == 6 && f.minor == 0) {
        if (f.productType == kWorkstation) {
            AppendName(id.name, "Windows Vista ");
            id.osCode = 6;
        } else {
            AppendName(id.name, "Windows Server 2008 ");
            id.osCode = 7;
        }
        if (f.hasProductInfo) AppendName(id.name, ProductEdition(f.productValue));
        if (f.processorArchitecture == kArchAMD64) {
            AppendName(id.name, ", 64-bit");
            id.osBits = 64;
        } else if (f.processorArchitecture == kArchIntel) {
            AppendName(id.name, ", 32-bit");
            id.osBits = 32;
        }
    } else if (f.major == 5 && f.minor == 2) {
        if (f.serverR2 != 0) {
            AppendName(id.name, "Windows Server 2003 R2, ");
            id.osCode = 5;
        } else if (f.suiteMask == kSuiteStorageServer) {
            AppendName(id.name, "Windows Storage Server 2003");
            id.osCode = 5;
        } else if (f.productType == kWorkstation && f.processorArchitecture == kArchAMD64) {
            AppendName(id.name, "Windows XP Professional x64 Edition");
            id.osCode = 4;
            id.osBits = 64;
        } else {
            AppendName(id.name, "Windows Server 2003, ");
            id.osCode = 5;
        }
        if (f.productType != kWorkstation) AppendName(id.name, Server2003Edition(f));
    } else if (f.major == 5 && f.minor == 1) {
        AppendName(id.name, "Windows XP ");
        AppendName(id.name, (f.suiteMask & kSuitePersonal) ? "Home Edition" : "Professional");
        id.osCode = 4;
    } else if (f.major == 5 && f.minor == 0) {
        AppendName(id.name, "Windows 2000 ");
        id.osCode = 3;
        if (f.productType == kWorkstation) {
            AppendName(id.name, "Professional");
        } else if (f.suiteMask & kSuiteDatacenter) {
            AppendName(id.name, "Datacenter Server");
        } else if (f.suiteMask & kSuiteEnterprise) {
            AppendName(id.name, "Advanced Server");
        } else {
            AppendName(id.name, "Server");
        }
    }

    if (!f.csd.empty()) {
        AppendName(id.name, " ");
        AppendName(id.name, f.csd);
        id.servicePack = ServicePackFromCsd(f.csd);
    }

    char build[80];
    std::snprintf(build, sizeof build, " (build %d)", static_cast<int>(f.build));
    AppendName(id.name, build);
}

void Identify9x(const OsVersionFacts& f, OsIdentity& id) {
    CopyName(id.name, "Microsoft ");
    if (f.major != 4) return;
    // The second character of the CSD text marks the later releases:
    // " B"/" C" Windows 95 OSR2, " A " Windows 98 Second Edition.
    char mark = f.csd.size() >= 2 ? f.csd[1] : '\0';
    if (f.minor == 0) {
        AppendName(id.name, "Windows95 ");
        if (mark == 'C' || mark == 'B') {
            id.servicePack = 1;
            AppendName(id.name, "OSR2 ");
        }
    } else if (f.minor == 10) {
        AppendName(id.name, "Windows98 ");
        id.osCode = 1;
        id.servicePack = 0;
        if (mark == 'A') {
            AppendName(id.name, "SE ");
            id.servicePack = 1;
        }
    } else if (f.minor == 90) {
        id.osCode = 2;
        AppendName(id.name, "Windows Millennium Edition");
    }
}

}  // namespace

OsIdentity IdentifyFromFacts(const OsVersionFacts& facts, OsIdentity start) {
    OsIdentity id = std::move(start);
    id.osBits = 32;
    id.unsupported = false;
    if (!facts.versionOk) return id;

    if (facts.platformId == kPlatformNT) {
        if (facts.major <= 4) {
            id.unsupported = true;
            return id;
        }
        IdentifyNT(facts, id);
    } else if (facts.platformId == kPlatformWindows) {
        Identify9x(facts, id);
    } else {
        id.unsupported = true;
    }
    return id;
}
