// File-name and digest checks (see UpdateFiles.h).
#include "core/UpdateFiles.h"

#include <cstring>

#include "core/Crypto.h"
#include "core/Text.h"

namespace {

// The part before the first dot names the device: "nul.txt" opens NUL too.
bool IsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    // Windows also ignores blanks before the extension ("NUL .txt").
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (EqualsIgnoringAsciiCase(stem, device)) return true;
    if (stem.size() == 4 && (EqualsIgnoringAsciiCase(stem.substr(0, 3), "COM") || EqualsIgnoringAsciiCase(stem.substr(0, 3), "LPT")))
        return stem[3] >= '1' && stem[3] <= '9';
    return false;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool IsSafeUpdateFileName(const std::string& name, std::size_t folderLength) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
        if (std::strchr("\\/:*?<>\"|", c)) return false;
    }
    const char last = name.back();
    if (last == '.' || last == ' ') return false;
    if (IsDeviceName(name)) return false;
    // folder + '\\' + name + terminating null.
    return folderLength + 1 + name.size() < kWindowsPathLimit;
}

std::string UpdateFilePath(const std::string& folder, const std::string& name) {
    return IsSafeUpdateFileName(name, folder.size()) ? folder + "\\" + name : std::string();
}

bool ParseSha256Hex(const std::string& text, Sha256Digest& digest) {
    if (text.size() != 2 * digest.size()) return false;
    Sha256Digest parsed;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        parsed[i] = static_cast<unsigned char>(high * 16 + low);
    }
    digest = parsed;
    return true;
}

std::string RepositoryPathOfUrl(const std::string& url) {
    Sha256Digest digest{};
    Sha256Of(url.data(), url.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string folder;
    for (std::size_t i = 0; i < 16; ++i) folder += std::string(1, kHex[digest[i] >> 4]) + kHex[digest[i] & 15];

    const std::string address = url.substr(0, url.find_first_of("?#"));
    const std::size_t slash = address.rfind('/');
    std::string name = slash == std::string::npos ? address : address.substr(slash + 1);
    bool ascii = true;
    for (char c : name) ascii = ascii && static_cast<unsigned char>(c) <= 0x7E;
    // The folder length only bounds the whole path here, which the name
    // limit does for any repository folder Windows can hold.
    if (!ascii || name.size() > kRepositoryNameLimit || !IsSafeUpdateFileName(name, 0)) name = "file";
    return "files\\" + folder + "\\" + name;
}
