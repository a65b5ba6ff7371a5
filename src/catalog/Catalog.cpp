// Catalog reading (see Catalog.h).
#include "catalog/Catalog.h"

#include <climits>
#include <cstdio>
#include <vector>

std::string EntrySection(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "%d", number);
    return name;
}

std::string ReadCatalogValue(const std::string& path, const std::string& section,
                             const char* key, const char* defaultValue, DWORD size) {
    if (size == 0) return std::string();
    std::vector<char> buffer(size + 1, '\0');
    ::GetPrivateProfileStringA(section.c_str(), key, defaultValue, buffer.data(), size,
                               path.c_str());
    buffer[size - 1] = '\0';
    return std::string(buffer.data());
}
