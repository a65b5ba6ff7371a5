// The detected facts about the running system, gathered once when the main
// window opens and only read afterwards: OS code, bit width, service pack,
// component versions and the language edition. Every field starts at its
// value for "absent or unknown", so a detection that writes nothing leaves a
// defined value.
#pragma once
#include <string>

struct SystemProfile {
    int ieVersion = 0;           // Internet Explorer major version
    int osCode = 0;              // 0 unknown, 1 98, 2 Me, 3 2000, 4 XP, 5 2003, 6 Vista, 7 2008
    int osBits = 32;             // 32 or 64
    int servicePack = 0;         // OS service pack number
    int wmpMajor = 0;            // Windows Media Player major version
    int iisVersion = -1;         // IIS major version, -1 when absent
    int dotNetVersion = -1;      // newest .NET Framework as 10*major+minor, -1 none
    int dotNetServicePack = -1;  // its service pack, -1 for none or 0
    int wmfMajor = 0;            // Windows Media Format version parts
    int wmfMinor = 0;
    int wmfBuild = 0;
    int wmfRevision = 0;
    unsigned short languageId = 0;  // language identifier of the OS edition
    int snmpInstalled = 0;          // 1 when the SNMP service program exists
};
