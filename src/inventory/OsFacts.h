// Asking the running Windows for its version facts and naming it with the
// identification in core/OsIdentity.h. Nothing is cached: every call asks
// Windows afresh.
#pragma once
#include <string>

#include "core/OsIdentity.h"

// Asks Windows: GetVersionExA with the extended structure, the native
// processor architecture (GetNativeSystemInfo when present, else
// GetSystemInfo), GetProductInfo looked up at run time, GetSystemMetrics.
OsVersionFacts GatherOsFacts();

// Fills `name` (only the first kOsNameBuffer bytes are used; it stays
// NUL-terminated) and the three numbers. `osBits` is set to 32 first; the
// others change only as the identification says, so callers pass an empty
// name and zeros. Writes kUnsupportedWindowsMessage to standard output for
// an unsupported system. `name` may be null, which skips the name.
void IdentifyOperatingSystem(char* name, int& osCode, int& osBits, int& servicePack);

// True when the OS code is 1 (Windows 98 and Second Edition).
bool IsWindows98();
// IsWindowsNT is with the registry key object (registry/RegistryKey.h).
