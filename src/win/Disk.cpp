// Free space (see Disk.h).
#include "win/Disk.h"

#include <windows.h>

bool FreeDiskBytes(const std::string& folder, unsigned long long& bytes) {
    ULARGE_INTEGER available, total, free;
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    if (!::GetDiskFreeSpaceExA(path.c_str(), &available, &total, &free)) return false;
    bytes = available.QuadPart;
    return true;
}
