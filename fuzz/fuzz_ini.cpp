// Fuzzes the profile reader's view of a catalog: any bytes give sections
// and keys on lines that exist, and every lookup answers within its buffer
// without splitting a double-byte character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/IniText.h"
#include "core/InstalledNames.h"

namespace {

// True when `text` ends in the middle of a CP949 double-byte character.
bool EndsInsideCharacter(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) at += IsCp949LeadByte(text[at]) && at + 1 < text.size() ? 2 : 1;
    return at > text.size();
}

void Check(const IniText& ini, const std::string& section, const std::string& key,
           const char* missing, std::size_t size) {
    const std::string value = ini.Read(section, key, missing, size);
    if (size == 0 ? !value.empty() : value.size() > size - 1) std::abort();
    if (value.find('\0') != std::string::npos || EndsInsideCharacter(value)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const IniText ini(bytes);
    int lines = 1;
    for (char c : bytes)
        if (c == '\n' || c == '\r') ++lines;
    for (const IniSection& section : ini.Sections()) {
        if (section.line < 1 || section.line > lines) std::abort();
        if (!ini.FindSection(section.name)) std::abort();
        for (const IniKey& key : section.keys) {
            if (key.line < section.line || key.line > lines) std::abort();
            if (!key.name.empty() && section.name.find('\0') == std::string::npos)
                Check(ini, section.name, key.name, "", 1 + key.value.size() % 1100);
        }
    }
    for (std::size_t buffer : {0, 1, 2, 1023, 1024})
        Check(ini, "INFO", "COUNT", "default value  ", buffer);
    Check(ini, "1", "TITLE", nullptr, 16);
    return 0;
}
