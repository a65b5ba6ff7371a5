// Plain registry reads used by the component detection: one value read
// with KEY_READ, a 32-bit value, a dotted version compared with a minimum,
// and the .NET Framework 1.0 service pack kept by Active Setup.
#pragma once
#include <windows.h>

#include <string>

// Reads a value of any type into `buffer` (the type is ignored). False when
// the key or value is missing or the value is larger than `size`.
// `bytesRead` receives the number of bytes stored when given.
bool ReadRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName,
                       void* buffer, DWORD size, DWORD* bytesRead = nullptr);
// A value of up to 260 bytes as text, cut at its first NUL. False when it
// cannot be read.
bool ReadRegistryText(HKEY root, const std::string& keyPath, const std::string& valueName,
                      std::string& text);
// A 32-bit value under HKLM (a shorter value fills the low bytes); -1 when
// it cannot be read.
int ReadRegistryDword(const std::string& keyPath, const std::string& valueName);
// True when the dotted version text under HKLM is at least the given
// version; a value that cannot be read counts as 0.0.0.0.
bool IsRegistryVersionAtLeast(const std::string& keyPath, const std::string& valueName, int major,
                              int minor, int build, int revision);
// True on Tablet PC and Media Center editions of Windows.
bool IsTabletOrMediaCenter();
// The service pack of .NET Framework 1.0 from its Active Setup "Version"
// (the number after the last comma); -1 when missing or without a comma.
int GetDotNet10ServicePack();
