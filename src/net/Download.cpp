// HTTP transfers over WinINet (see Download.h).
//
// Raw WinINet rather than a class library: every failure is a return value
// here, so nothing has to be caught, and each handle lives in a holder that
// closes it on every way out of a function. The length query reaches WinINet
// through entry points looked up in a wininet.dll it loads itself; the
// download writes its file through CreateFileA/WriteFile looked up in
// kernel32, and does nothing at all when they are missing.
#include "net/Download.h"

#include <wininet.h>

#include <climits>
#include <cstring>
#include <vector>

#include "ui/Messages.h"

const char* const kHttpAgent = "Quellfix";

namespace {

typedef HINTERNET(WINAPI* InternetOpenFn)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
typedef HINTERNET(WINAPI* InternetOpenUrlFn)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
typedef BOOL(WINAPI* HttpQueryInfoFn)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
typedef BOOL(WINAPI* InternetCloseHandleFn)(HINTERNET);
typedef HANDLE(WINAPI* CreateFileFn)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                     HANDLE);
typedef BOOL(WINAPI* WriteFileFn)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
typedef BOOL(WINAPI* InetIsOfflineFn)(DWORD);

// Every request asks the server afresh and leaves nothing in the cache: an
// installer or a catalog must never come from a stale copy.
constexpr DWORD kFreshFetch = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE;
constexpr DWORD_PTR kContext = 1;

// An Internet handle, closed through the entry point it was opened with.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle = nullptr,
                            InternetCloseHandleFn close = &::InternetCloseHandle)
        : m_handle(handle), m_close(close) {}
    ~InternetHandle() {
        if (m_handle) m_close(m_handle);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    HINTERNET m_handle;
    InternetCloseHandleFn m_close;
};

class LibraryHandle {
public:
    explicit LibraryHandle(HMODULE module) : m_module(module) {}
    ~LibraryHandle() {
        if (m_module) ::FreeLibrary(m_module);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module;
};

// A file handle from CreateFileA; Close reports whether the last buffered
// writes reached the file.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    bool Close() {
        if (!Valid()) return false;
        BOOL ok = ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE m_handle;
};

// Hands the 512-byte blocks to the file in larger pieces: a write call per
// block would cost as much as a quarter of a transfer's time.
class BlockWriter {
public:
    static constexpr size_t kPiece = 64 * 1024;
    BlockWriter(HANDLE file, WriteFileFn writeFile) : m_file(file), m_writeFile(writeFile) {
        m_buffer.reserve(kPiece);
    }
    // False when a write failed.
    bool Add(const char* data, DWORD size) {
        m_buffer.insert(m_buffer.end(), data, data + size);
        return m_buffer.size() < kPiece || Flush();
    }
    bool Flush() {
        if (m_buffer.empty()) return true;
        DWORD size = static_cast<DWORD>(m_buffer.size());
        DWORD written = 0;
        bool ok = m_writeFile(m_file, m_buffer.data(), size, &written, nullptr) && written == size;
        m_buffer.clear();
        return ok;
    }

private:
    HANDLE m_file;
    WriteFileFn m_writeFile;
    std::vector<char> m_buffer;
};

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(::GetProcAddress(module, name)) : nullptr;
}

HINTERNET OpenSession(InternetOpenFn open) {
    return open(kHttpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

// True when the reply is the resource itself: a status in 200-299. A reply
// whose status cannot be read is not trusted either.
bool ReplyIsResource(HINTERNET request, HttpQueryInfoFn query) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!query(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return false;
    return status >= 200 && status <= 299;
}

// Digits after leading white space, up to the first other character, with
// the value held at `limit` once it would pass it.
unsigned long long ParseDecimal(const char* text, unsigned long long limit) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n' || *text == '\v' ||
           *text == '\f')
        ++text;
    unsigned long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        unsigned digit = static_cast<unsigned>(*text - '0');
        if (value > (limit - digit) / 10) return limit;
        value = value * 10 + digit;
    }
    return value;
}

// The Content-Length header's text; false when the reply has none (or one
// that does not fit the buffer, which no real length needs).
bool QueryLengthText(HINTERNET request, HttpQueryInfoFn query, char (&text)[kLengthTextBuffer]) {
    std::memset(text, 0, sizeof text);
    DWORD size = kLengthTextBuffer;
    if (!query(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
    text[kLengthTextBuffer - 1] = '\0';
    return true;
}

int Transfer(const std::string& url, const std::string& localPath, HWND notify,
             CreateFileFn createFile, WriteFileFn writeFile) {
    InternetHandle session(OpenSession(&::InternetOpenA));
    if (!session) return 0;
    InternetHandle request(::InternetOpenUrlA(session.Get(), url.c_str(), nullptr, 0,
                                              kFreshFetch | INTERNET_FLAG_TRANSFER_BINARY,
                                              kContext));
    if (!request || !ReplyIsResource(request.Get(), &::HttpQueryInfoA)) return 0;

    char lengthText[kLengthTextBuffer];
    const bool lengthKnown = QueryLengthText(request.Get(), &::HttpQueryInfoA, lengthText);
    const unsigned long long announced = lengthKnown ? ParseDecimal(lengthText, ULLONG_MAX) : 0;

    if (localPath.empty()) return 0;
    const std::string partPath = localPath + ".part";
    unsigned long long total = 0;
    {
        FileHandle out(createFile(partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) return 0;
        BlockWriter writer(out.Get(), writeFile);
        char block[kDownloadBlock];
        for (;;) {
            DWORD got = 0;
            if (!::InternetReadFile(request.Get(), block, kDownloadBlock, &got)) {
                writer.Flush();  // what did arrive stays in the ".part" file
                return 0;
            }
            if (got == 0) break;
            total += got;
            if (notify) ::SendMessageA(notify, WM_DOWNLOAD_PROGRESS, 0, static_cast<LPARAM>(total));
            if (!writer.Add(block, got)) return 0;
        }
        if (!writer.Flush() || !out.Close()) return 0;
    }
    // A connection that ends early looks like the end of the body to the
    // reader; only the announced length tells them apart.
    if (lengthKnown && total < announced) return 0;
    if (!::MoveFileExA(partPath.c_str(), localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
    return 1;
}

bool ComputerIsOffline() {
    LibraryHandle url(::LoadLibraryA("url.dll"));
    InetIsOfflineFn isOffline = Lookup<InetIsOfflineFn>(url.Get(), "InetIsOffline");
    return isOffline && isOffline(0) == 1;
}

}  // namespace

long ParseContentLength(const char* text) {
    return static_cast<long>(ParseDecimal(text, LONG_MAX));
}

int DownloadFile(std::string url, std::string localPath, HWND notify) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    CreateFileFn createFile = Lookup<CreateFileFn>(kernel, "CreateFileA");
    WriteFileFn writeFile = Lookup<WriteFileFn>(kernel, "WriteFile");
    if (!createFile || !writeFile) return 0;

    int result = Transfer(url, localPath, notify, createFile, writeFile);
    if (notify) ::SendMessageA(notify, WM_DOWNLOAD_DONE, 0, result);
    return result;
}

long GetRemoteFileSize(std::string url) {
    LibraryHandle wininet(::LoadLibraryA("wininet.dll"));
    InternetOpenFn open = Lookup<InternetOpenFn>(wininet.Get(), "InternetOpenA");
    InternetOpenUrlFn openUrl = Lookup<InternetOpenUrlFn>(wininet.Get(), "InternetOpenUrlA");
    HttpQueryInfoFn query = Lookup<HttpQueryInfoFn>(wininet.Get(), "HttpQueryInfoA");
    InternetCloseHandleFn close =
        Lookup<InternetCloseHandleFn>(wininet.Get(), "InternetCloseHandle");
    if (!open || !openUrl || !query || !close) return 0;

    // Declared after the library, so both handles are closed before it is freed.
    InternetHandle session(OpenSession(open), close);
    if (!session) return 0;
    InternetHandle request(openUrl(session.Get(), url.c_str(), nullptr, 0, kFreshFetch, 0), close);
    if (!request || !ReplyIsResource(request.Get(), query)) return 0;

    char lengthText[kLengthTextBuffer];
    if (!QueryLengthText(request.Get(), query, lengthText)) return 0;
    return ParseContentLength(lengthText);
}

std::string FetchFirstLine(std::string url) {
    if (ComputerIsOffline()) return std::string();

    InternetHandle session(OpenSession(&::InternetOpenA));
    if (!session) return std::string();
    InternetHandle request(::InternetOpenUrlA(session.Get(), url.c_str(), nullptr, 0,
                                              kFreshFetch | INTERNET_FLAG_TRANSFER_ASCII,
                                              kContext));
    if (!request || !ReplyIsResource(request.Get(), &::HttpQueryInfoA)) return std::string();

    char lengthText[kLengthTextBuffer];
    const bool lengthKnown = QueryLengthText(request.Get(), &::HttpQueryInfoA, lengthText);
    const unsigned long long announced = lengthKnown ? ParseDecimal(lengthText, ULLONG_MAX) : 0;

    std::string line;
    unsigned long long total = 0;
    bool complete = false;
    char block[kDownloadBlock];
    for (;;) {
        DWORD got = 0;
        // A broken connection gives no line at all rather than part of one.
        if (!::InternetReadFile(request.Get(), block, kDownloadBlock, &got)) return std::string();
        if (got == 0) break;
        total += got;
        const char* feed = static_cast<const char*>(std::memchr(block, '\n', got));
        size_t length = feed ? static_cast<size_t>(feed - block) : got;
        size_t room = kFirstLineLimit - line.size();
        line.append(block, length < room ? length : room);
        if (feed || line.size() >= kFirstLineLimit) {
            complete = true;
            break;
        }
    }
    if (total == 0) return std::string();
    // A last line without a line feed counts only when the body is whole.
    if (!complete && lengthKnown && total < announced) return std::string();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line + "\n";
}

long long LocalFileLength(const std::string& path) {
    // The size from the file's attributes: no handle is opened, so a file
    // that another program holds locked still shows its length.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
