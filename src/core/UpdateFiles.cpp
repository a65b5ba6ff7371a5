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
    std::string bytes;
    if (text.size() != 2 * digest.size() || !DecodeHex(text, bytes)) return false;
    std::memcpy(digest.data(), bytes.data(), digest.size());
    return true;
}

std::string RepositoryPathOfUrl(const std::string& url) {
    Sha256Digest digest{};
    Sha256Of(url.data(), url.size(), digest);
    const std::string folder = HexText(digest.data(), 16, false);

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
