// Optional functions of Windows: entry points that not every supported
// Windows has (or that the program must not import, so that it still starts
// where they are missing), looked up at run time.
//
// A library is loaded from the system folder by its full path, never by its
// bare name, which would search the program's own folder (and, on old
// Windows, the current folder) first: a planted url.dll beside the program
// must not be loaded. Functions are looked up with the type of their
// declaration in the Windows headers (QF_OPTIONAL), so a lookup cannot
// disagree with the function it finds.
#pragma once
#include <windows.h>

#include <string>

#include "win/Handle.h"

class SystemLibrary {
public:
    // Loads `name` (e.g. "url.dll") from the system folder; Loaded() is
    // false when it is not there.
    explicit SystemLibrary(const char* name);
    bool Loaded() const { return m_module.Valid(); }
    HMODULE Get() const { return m_module.Get(); }

    // The entry point `name` as a `Function` (a pointer-to-function type);
    // null when the library or the entry point is missing.
    template <typename Function>
    Function Find(const char* name) const {
        if (!m_module.Valid()) return nullptr;
        // GetProcAddress hands out a FARPROC whatever the entry point is.
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(m_module.Get(), name)));
    }

    // The system folder ("C:\WINDOWS\system32"), without a trailing
    // backslash; empty when Windows does not say.
    static std::string Folder();

private:
    ModuleHandle m_module;
};

// `library`'s entry point `function`, typed as the Windows headers declare
// it: QF_OPTIONAL(url, InetIsOffline).
#define QF_OPTIONAL(library, function) (library).Find<decltype(&::function)>(#function)
