// Naming Windows from its version facts and reducing it to the numbers the
// rest of the program decides on: the OS code, the bit width and the service
// pack.
//
// The decision is a pure function over plain version facts, so every road
// through it can be driven from a table; the facts themselves are gathered
// from Windows by a few lines that do nothing else. Nothing is cached: every
// call asks Windows afresh.
#pragma once
#include <string>

// What Windows tells about itself, copied out of its structures.
struct OsVersionFacts {
    bool versionOk = false;            // GetVersionExA answered
    unsigned long major = 0;
    unsigned long minor = 0;
    unsigned long build = 0;
    unsigned long platformId = 0;      // 1 Windows 9x, 2 NT family
    std::string csd;                   // service-pack text, at most 127 characters
    unsigned int suiteMask = 0;
    unsigned int productType = 0;      // 1 workstation, 2 domain controller, 3 server
    unsigned int processorArchitecture = 0;  // 0 x86, 6 Itanium, 9 x64
    bool hasProductInfo = false;       // GetProductInfo exists on this system
    unsigned long productValue = 0;    // what GetProductInfo(6, 0, 0, 0) answered
    int serverR2 = 0;                  // GetSystemMetrics(SM_SERVERR2)
};

struct OsIdentity {
    std::string name;       // display name, at most kOsNameMaxLength characters
    int osCode = 0;         // 0 unknown, 1 98, 2 Me, 3 2000, 4 XP, 5 2003, 6 Vista, 7 2008
    int osBits = 32;
    int servicePack = 0;
    bool unsupported = false;  // Windows 95-era NT or an unknown platform: name left alone
};

// The name is built in a caller's buffer of which only this much is used.
constexpr unsigned kOsNameBuffer = 256;
constexpr unsigned kOsNameMaxLength = kOsNameBuffer - 1;

// The message written to standard output for a system the program does not
// know at all.
extern const char kUnsupportedWindowsMessage[];

// The identification from `facts`. `start` holds the values the caller passed
// in; the result changes only what the identification itself determines
// (for an unsupported system the name, OS code and service pack stay as they
// were). The bit width always starts again at 32.
OsIdentity IdentifyFromFacts(const OsVersionFacts& facts, OsIdentity start);
inline OsIdentity IdentifyFromFacts(const OsVersionFacts& facts) {
    return IdentifyFromFacts(facts, OsIdentity());
}
