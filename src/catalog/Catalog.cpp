// Catalog reading (see Catalog.h).
#include "catalog/Catalog.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "app/Globals.h"

std::string CatalogPath() { return g_strProgramDir + "\\quellfix.ini"; }

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

int CatalogToInt(const std::string& text) {
    std::string::size_type i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}
