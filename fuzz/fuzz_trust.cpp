// Fuzzes the catalog's FILENAME and SHA256 checks and the instance name: an
// accepted name never leaves the folder, and a parsed digest reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/Instance.h"
#include "core/UpdateFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string folder = "C:\\Quellfix\\UPDATES";
    const std::string path = UpdateFilePath(folder, text);
    if (!path.empty()) {
        if (text.find_first_of("\\/:*?<>|\"") != std::string::npos) std::abort();
        if (text == "." || text == ".." || path.size() >= kWindowsPathLimit) std::abort();
        if (path.compare(0, folder.size() + 1, folder + "\\") != 0) std::abort();
    }
    Sha256Digest digest{};
    if (ParseSha256Hex(text, digest)) {
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char b : digest) {
            hex += kDigits[b >> 4];
            hex += kDigits[b & 15];
        }
        std::string lower = text;
        for (char& c : lower)
            if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (hex != lower) std::abort();
    }
    const std::string name = InstanceName(text);
    if (name.size() > 250 || name.find('\\') != std::string::npos) std::abort();
    return 0;
}
