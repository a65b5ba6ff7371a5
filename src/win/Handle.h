// One owner for every kind of handle the program holds: files, events,
// processes and threads, registry keys, modules, WinINet handles, find
// handles and LocalAlloc blocks. Each kind is a small traits struct that
// says what "none" is and how it is closed; UniqueHandle does the rest, so
// every way out of a function closes what it opened.
//
// Layer: win/ is the base of the Windows side: it uses the Win32 API only.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <new>

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : m_handle(Traits::None()) {}
    explicit UniqueHandle(Type handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const noexcept { return m_handle; }
    bool Valid() const noexcept { return Traits::IsValid(m_handle); }
    explicit operator bool() const noexcept { return Valid(); }

    // Closes what is held and holds `handle` instead.
    void Reset(Type handle = Traits::None()) noexcept {
        Close();
        m_handle = handle;
    }
    // Gives the handle up without closing it.
    Type Release() noexcept {
        Type handle = m_handle;
        m_handle = Traits::None();
        return handle;
    }
    // Closes what is held and hands out the slot to a call that opens
    // something into an out-parameter.
    Type* Receive() noexcept {
        Close();
        return &m_handle;
    }
    // Closes the handle; true when closing succeeded (for a file: when its
    // last buffered writes reached it). False, doing nothing, when none is
    // held. Afterwards the owner holds none.
    bool Close() noexcept {
        if (!Valid()) {
            m_handle = Traits::None();
            return false;
        }
        const bool closed = Traits::Close(m_handle);
        m_handle = Traits::None();
        return closed;
    }

private:
    Type m_handle;
};

// A kernel object: file, event, mutex, mapping, process, thread. The calls
// that make them answer "none" with null or with INVALID_HANDLE_VALUE.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return ::CloseHandle(h) != FALSE; }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// A registry key opened or created by the program (never a root key).
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static bool Close(Type h) { return ::RegCloseKey(h) == ERROR_SUCCESS; }
};
using RegistryKeyHandle = UniqueHandle<RegistryKeyTraits>;

// A module loaded with LoadLibrary.
struct ModuleTraits {
    using Type = HMODULE;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static bool Close(Type h) { return ::FreeLibrary(h) != FALSE; }
};
using ModuleHandle = UniqueHandle<ModuleTraits>;

// A WinINet session, connection or request.
struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static bool Close(Type h) { return ::InternetCloseHandle(h) != FALSE; }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

// A file search from FindFirstFileA.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return ::FindClose(h) != FALSE; }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// A block from LocalAlloc (SIDs, access-control lists, message texts).
struct LocalBlockTraits {
    using Type = HLOCAL;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static bool Close(Type h) { return ::LocalFree(h) == nullptr; }
};
using LocalBlock = UniqueHandle<LocalBlockTraits>;

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
