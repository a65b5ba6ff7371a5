// Whole-file reads and one-move replacements (see WholeFile.h).
#include "win/WholeFile.h"

#include "win/Handle.h"

bool ReadWholeFile(HANDLE file, std::string& bytes, DWORD limit) {
    bytes.clear();
    if (file == INVALID_HANDLE_VALUE || !file) return false;
    if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    DWORD high = 0;
    const DWORD size = ::GetFileSize(file, &high);
    if ((size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) || high != 0 || size > limit) return false;
    std::string read(size, '\0');
    DWORD got = 0;
    if (size > 0 && (!::ReadFile(file, &read[0], size, &got, nullptr) || got != size)) return false;
    bytes.swap(read);
    return true;
}

WholeFileRead ReadWholeFileAt(const std::string& path, std::string& bytes, DWORD limit) {
    bytes.clear();
    KernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WholeFileRead::Missing
                                                                              : WholeFileRead::Unreadable;
    }
    return ReadWholeFile(file.Get(), bytes, limit) ? WholeFileRead::Read : WholeFileRead::Unreadable;
}

bool ReplaceWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        KernelHandle out(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!out.Valid()) return false;
        DWORD written = 0;
        const bool ok = ::WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                        written == text.size() && ::FlushFileBuffers(out.Get());
        if (!out.Close() || !ok) {
            ::DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileA(temporary.c_str());
    return false;
}
