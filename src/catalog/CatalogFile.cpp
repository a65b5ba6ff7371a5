// Catalog reading (see CatalogFile.h).
#include "catalog/CatalogFile.h"

#include <vector>

std::string ReadCatalogValue(const std::string& path, const std::string& section,
                             const char* key, const char* defaultValue, std::size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return std::string();
    std::vector<char> buffer(size + 1, '\0');
    ::GetPrivateProfileStringA(section.c_str(), key, defaultValue, buffer.data(),
                               static_cast<DWORD>(size), path.c_str());
    buffer[size - 1] = '\0';
    return std::string(buffer.data());
}

CatalogLookup CatalogFileLookup(const std::string& path, CatalogReader reader) {
    const std::size_t size = CatalogReaderBuffer(reader);
    return [path, size](const std::string& section, const char* key, const char* missing) {
        return ReadCatalogValue(path, section, key, missing, size);
    };
}
