// Optional functions of Windows (see SystemLibrary.h).
#include "win/SystemLibrary.h"

#include <vector>

std::string SystemLibrary::Folder() {
    std::vector<char> buffer(MAX_PATH + 1);
    UINT length = ::GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = ::GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) return std::string();
    std::string folder(buffer.data(), length);
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

SystemLibrary::SystemLibrary(const char* name) {
    const std::string folder = Folder();
    if (folder.empty() || !name || !*name) return;
    m_module.Reset(::LoadLibraryA((folder + "\\" + name).c_str()));
}
