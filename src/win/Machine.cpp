// The machine's name and free space (see Machine.h).
#include "win/Machine.h"

#include <windows.h>

bool FreeDiskBytes(const std::string& folder, unsigned long long& bytes) {
    ULARGE_INTEGER available, total, free;
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    if (!::GetDiskFreeSpaceExA(path.c_str(), &available, &total, &free)) return false;
    bytes = available.QuadPart;
    return true;
}

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return std::string();
    return std::string(name, size < sizeof name ? size : sizeof name - 1);
}
