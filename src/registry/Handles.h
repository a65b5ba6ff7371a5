// Owners for the raw blocks the registry and security calls hand out, so
// that every path out of a function releases them.
#pragma once
#include <windows.h>

#include <memory>
#include <new>

// A block from LocalAlloc (SIDs, access-control lists), released with LocalFree.
struct LocalFreeDeleter {
    void operator()(void* block) const {
        if (block) ::LocalFree(block);
    }
};
using LocalBlock = std::unique_ptr<void, LocalFreeDeleter>;

// A module loaded with LoadLibraryA, freed when the owner goes. Null when
// the load failed.
class LoadedModule {
public:
    explicit LoadedModule(const char* name) : m_module(::LoadLibraryA(name)) {}
    ~LoadedModule() {
        if (m_module) ::FreeLibrary(m_module);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module;
};

// A heap block of a size Windows reports at run time (a saved security
// descriptor, a version resource). Allocation failure leaves it empty
// instead of throwing, because each caller treats that as an ordinary
// failure of the call it is making.
class HeapBlock {
public:
    HeapBlock() = default;
    explicit HeapBlock(DWORD size) : m_data(new (std::nothrow) unsigned char[size ? size : 1]()) {
        if (m_data) m_size = size;
    }
    explicit operator bool() const { return m_data != nullptr; }
    unsigned char* Data() const { return m_data.get(); }
    DWORD Size() const { return m_size; }

private:
    std::unique_ptr<unsigned char[]> m_data;
    DWORD m_size = 0;
};

// A kernel handle (file, process, thread, event), closed when the owner goes.
// Both null and INVALID_HANDLE_VALUE mean "none", as the calls that make
// handles use either. Close reports whether closing succeeded (for a file:
// whether the last buffered writes reached it).
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~KernelHandle() { Close(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle) {
        Close();
        m_handle = handle;
    }
    bool Close() {
        if (!Valid()) return false;
        const BOOL ok = ::CloseHandle(m_handle);
        m_handle = nullptr;
        return ok != FALSE;
    }

private:
    HANDLE m_handle;
};
