// Error texts (see Win32Error.h).
#include "win/Win32Error.h"

#include <windows.h>

#include "win/Handle.h"

namespace {

// WinINet keeps the texts of its own codes in its message table.
constexpr unsigned long kInternetErrorFirst = 12000;
constexpr unsigned long kInternetErrorLast = 12175;

}  // namespace

std::string SystemMessageText(unsigned long code) {
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    HMODULE source = nullptr;
    if (code >= kInternetErrorFirst && code <= kInternetErrorLast) {
        // Already loaded by the program, which imports WinINet.
        source = ::GetModuleHandleA("wininet.dll");
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    if (!source) flags |= FORMAT_MESSAGE_FROM_SYSTEM;
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(flags, source, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    LocalBlock owner(text);
    if (length == 0 || !text) return std::string();
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

std::string Win32ErrorText(unsigned long code) {
    const std::string message = SystemMessageText(code);
    const std::string number = "Win32 error " + std::to_string(code);
    return message.empty() ? number : number + ": " + message;
}
