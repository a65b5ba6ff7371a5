// HTTP transfers over WinINet (see Download.h).
//
// Raw WinINet rather than a class library: every failure is a return value
// here, so nothing has to be caught, and each handle lives in a holder that
// closes it on every way out of a function. The length query reaches WinINet
// through entry points looked up in a wininet.dll it loads itself; the
// download writes its file through CreateFileA/WriteFile looked up in
// kernel32, and does nothing at all when they are missing.
//
// Each request is made in three steps (connect, open, send) rather than with
// InternetOpenUrl, so that the time limits are set on the very handles that
// wait: a server that takes the request and says nothing ends the wait.
#include "net/Download.h"

#include <wininet.h>
// InetIsOffline, looked up at run time in url.dll.
#include <ole2.h>
#include <intshcut.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "win/Handle.h"
#include "win/SystemLibrary.h"
#include "win/Win32Error.h"
#include "core/HttpRange.h"
#include "ui/Messages.h"

const char* const kHttpAgent = "Quellfix";

namespace {

// Every request asks the server afresh and leaves nothing in the cache: an
// installer or a catalog must never come from a stale copy.
constexpr DWORD kFreshFetch = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE;
constexpr DWORD_PTR kContext = 1;

// Hands the 512-byte blocks to the file in larger pieces: a write call per
// block would cost as much as a quarter of a transfer's time.
class BlockWriter {
public:
    static constexpr size_t kPiece = 64 * 1024;
    BlockWriter(HANDLE file, decltype(&::WriteFile) writeFile) : m_file(file), m_writeFile(writeFile) {
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
    decltype(&::WriteFile) m_writeFile;
    std::vector<char> m_buffer;
};

// The WinINet calls a request needs: the ones linked into the program, or
// the same entry points looked up in wininet.dll.
struct WinInet {
    decltype(&::InternetOpenA) open = &::InternetOpenA;
    decltype(&::InternetCrackUrlA) crack = &::InternetCrackUrlA;
    decltype(&::InternetConnectA) connect = &::InternetConnectA;
    decltype(&::HttpOpenRequestA) openRequest = &::HttpOpenRequestA;
    decltype(&::HttpSendRequestA) send = &::HttpSendRequestA;
    decltype(&::InternetSetOptionA) setOption = &::InternetSetOptionA;
    decltype(&::HttpQueryInfoA) query = &::HttpQueryInfoA;

    // False when `library` lacks one of them.
    bool LoadFrom(const SystemLibrary& library) {
        open = QF_OPTIONAL(library, InternetOpenA);
        crack = QF_OPTIONAL(library, InternetCrackUrlA);
        connect = QF_OPTIONAL(library, InternetConnectA);
        openRequest = QF_OPTIONAL(library, HttpOpenRequestA);
        send = QF_OPTIONAL(library, HttpSendRequestA);
        setOption = QF_OPTIONAL(library, InternetSetOptionA);
        query = QF_OPTIONAL(library, HttpQueryInfoA);
        return open && crack && connect && openRequest && send && setOption && query &&
               QF_OPTIONAL(library, InternetCloseHandle);
    }
};

// Bounds every wait of `handle` by kNetworkTimeLimitMs: connecting, sending,
// and each wait for the reply or for more of its body.
void LimitWaits(const WinInet& net, HINTERNET handle) {
    DWORD limit = kNetworkTimeLimitMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        net.setOption(handle, option, &limit, sizeof limit);
}

// One HTTP request, sent: the session, connection and request handles,
// closed in reverse order when it goes. Get() is null when the address
// cannot be read, is not http or https, or the request could not be sent;
// Error() then holds the Win32 or WinINet error of the step that failed.
class Request {
public:
    Request(const WinInet& net, const std::string& url, const char* verb, DWORD flags,
            const std::string& headers = std::string())
        : m_session(net.open(kHttpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) {
        if (!m_session) {
            Fail();
            return;
        }
        LimitWaits(net, m_session.Get());
        std::vector<char> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
        URL_COMPONENTSA parts;
        std::memset(&parts, 0, sizeof parts);
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = host.data();
        parts.dwHostNameLength = static_cast<DWORD>(host.size());
        parts.lpszUrlPath = path.data();
        parts.dwUrlPathLength = static_cast<DWORD>(path.size());
        parts.lpszExtraInfo = extra.data();
        parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
        if (url.empty() || !net.crack(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
            m_error = ERROR_INTERNET_INVALID_URL;
            return;
        }
        if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
            flags |= INTERNET_FLAG_SECURE;
        } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
            m_error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
            return;
        }
        m_connection.Reset(net.connect(m_session.Get(), host.data(), parts.nPort, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, kContext));
        if (!m_connection) {
            Fail();
            return;
        }
        LimitWaits(net, m_connection.Get());
        std::string object = std::string(path.data()) + extra.data();
        object = object.substr(0, object.find('#'));  // a fragment stays with the client
        if (object.empty()) object = "/";
        m_request.Reset(net.openRequest(m_connection.Get(), verb, object.c_str(), nullptr, nullptr,
                                        nullptr, flags, kContext));
        if (!m_request) {
            Fail();
            return;
        }
        LimitWaits(net, m_request.Get());
        if (!net.send(m_request.Get(), headers.empty() ? nullptr : headers.c_str(),
                      static_cast<DWORD>(headers.size()), nullptr, 0)) {
            Fail();
            m_request.Reset(nullptr);
        }
    }
    HINTERNET Get() const { return m_request.Get(); }
    DWORD Error() const { return m_error; }

private:
    void Fail() { m_error = ::GetLastError(); }

    InternetHandle m_session;
    InternetHandle m_connection;
    InternetHandle m_request;
    DWORD m_error = 0;
};

// The reply's status; 0 when it cannot be read.
DWORD StatusOf(HINTERNET request, decltype(&::HttpQueryInfoA) query) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!query(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return 0;
    return status;
}

// True when the reply is the resource itself: a status in 200-299. A reply
// whose status cannot be read is not trusted either.
bool ReplyIsResource(HINTERNET request, decltype(&::HttpQueryInfoA) query) {
    const DWORD status = StatusOf(request, query);
    return status >= 200 && status <= 299;
}

// The Content-Length header's text; false when the reply has none (or one
// that does not fit the buffer, which no real length needs).
bool QueryLengthText(HINTERNET request, decltype(&::HttpQueryInfoA) query,
                     char (&text)[kLengthTextBuffer]) {
    std::memset(text, 0, sizeof text);
    DWORD size = kLengthTextBuffer;
    if (!query(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
    text[kLengthTextBuffer - 1] = '\0';
    return true;
}

long long PartLength(const std::string& path) { return LocalFileLength(path); }

// A request that could not be made or answered: a time limit, or no connection.
FetchFailure ConnectionFailure(DWORD code, const std::string& url) {
    return FailureOf(code == ERROR_INTERNET_TIMEOUT ? FetchCause::TimeLimit : FetchCause::Connection, code, url);
}

// The Content-Range of a 206 reply, "bytes FIRST-LAST/TOTAL": true when it
// is exactly the rest of a file of `total` bytes from `from` on.
bool RangeIsTheRest(HINTERNET request, unsigned long long from, unsigned long long total) {
    char text[128] = {};
    DWORD size = sizeof text - 1;
    if (!::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr)) return false;
    return ContentRangeMatches(std::string(text, strnlen(text, sizeof text)), from, total);
}

TransferResult Transfer(const std::string& url, const std::string& localPath,
                        const TransferProgress& progress, const TransferOptions& options,
                        decltype(&::CreateFileA) createFile, decltype(&::WriteFile) writeFile) {
    TransferResult result;
    if (localPath.empty()) {
        result.failure.cause = FetchCause::UnsafeName;
        return result;
    }
    const std::string partPath = localPath + ".part";

    // What an earlier transfer left is continued when the server's size is
    // known and the part is shorter; anything else starts from byte zero.
    unsigned long long resumeFrom = 0;
    if (options.resume && options.knownSize > 0) {
        const long long part = PartLength(partPath);
        if (part > 0 && static_cast<unsigned long long>(part) < options.knownSize)
            resumeFrom = static_cast<unsigned long long>(part);
    }
    std::unique_ptr<Request> request;
    bool append = false;
    if (resumeFrom > 0) {
        request.reset(new Request(WinInet(), url, "GET", kFreshFetch | INTERNET_FLAG_TRANSFER_BINARY,
                                  RangeHeader(resumeFrom)));
        if (request->Get()) {
            const DWORD status = StatusOf(request->Get(), &::HttpQueryInfoA);
            if (status == 206 && RangeIsTheRest(request->Get(), resumeFrom, options.knownSize)) {
                append = true;
            } else if (status != 200) {
                request.reset();  // any other answer: the whole file again
            }
        }
    }
    if (!request) {
        resumeFrom = 0;
        request.reset(new Request(WinInet(), url, "GET", kFreshFetch | INTERNET_FLAG_TRANSFER_BINARY));
    }
    result.resumedFrom = append ? resumeFrom : 0;
    if (!request->Get()) {
        result.failure = ConnectionFailure(request->Error(), url);
        return result;
    }
    const DWORD status = StatusOf(request->Get(), &::HttpQueryInfoA);
    if (status < 200 || status > 299) {
        result.failure = FailureOf(FetchCause::HttpStatus, status, url);
        result.failure.systemText.clear();
        return result;
    }

    char lengthText[kLengthTextBuffer];
    const bool lengthKnown = QueryLengthText(request->Get(), &::HttpQueryInfoA, lengthText);
    const unsigned long long announced =
        (lengthKnown ? ScanDecimal(lengthText, nullptr, true, ULLONG_MAX) : 0) + (append ? resumeFrom : 0);

    unsigned long long total = append ? resumeFrom : 0;
    // The bar starts where the kept part ends.
    if (append && progress) progress(total);
    {
        KernelHandle out(createFile(partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) {
            result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
            return result;
        }
        if (append && ::SetFilePointer(out.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
            ::GetLastError() != NO_ERROR) {
            result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
            return result;
        }
        BlockWriter writer(out.Get(), writeFile);
        char block[kDownloadBlock];
        for (;;) {
            DWORD got = 0;
            if (!::InternetReadFile(request->Get(), block, kDownloadBlock, &got)) {
                const DWORD error = ::GetLastError();
                writer.Flush();  // what did arrive stays in the ".part" file
                result.failure = ConnectionFailure(error, url);
                result.bytes = total;
                return result;
            }
            if (got == 0) break;
            total += got;
            if (progress) progress(total);
            if (!writer.Add(block, got)) {
                result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
                return result;
            }
        }
        if (!writer.Flush() || !out.Close()) {
            result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
            return result;
        }
    }
    result.bytes = total;
    // A connection that ends early looks like the end of the body to the
    // reader; only the announced length tells them apart.
    if (lengthKnown && total < announced) {
        result.failure.cause = FetchCause::ShortBody;
        result.failure.got = total;
        result.failure.expected = announced;
        result.failure.where = url;
        return result;
    }
    if (!::MoveFileExA(partPath.c_str(), localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), localPath);
        return result;
    }
    return result;
}

}  // namespace

FetchFailure FailureOf(FetchCause cause, unsigned long code, const std::string& where) {
    FetchFailure failure;
    failure.cause = cause;
    failure.code = code;
    failure.systemText = SystemMessageText(code);
    failure.where = where;
    return failure;
}

bool ComputerIsOffline() {
    const SystemLibrary url("url.dll");
    const auto isOffline = QF_OPTIONAL(url, InetIsOffline);
    return isOffline && isOffline(0) == 1;
}

TransferResult TransferToFile(const std::string& url, const std::string& localPath,
                              const TransferProgress& progress, const TransferOptions& options) {
    const SystemLibrary kernel("kernel32.dll");
    const auto createFile = QF_OPTIONAL(kernel, CreateFileA);
    const auto writeFile = QF_OPTIONAL(kernel, WriteFile);
    if (!createFile || !writeFile) {
        TransferResult result;
        result.failure.cause = FetchCause::DiskWrite;
        result.failure.code = ERROR_PROC_NOT_FOUND;
        return result;
    }
    return Transfer(url, localPath, progress, options, createFile, writeFile);
}

int FetchFile(const std::string& url, const std::string& localPath, HWND notify) {
    TransferProgress progress;
    if (notify)
        progress = [notify](unsigned long long total) {
            ::SendMessageA(notify, WM_DOWNLOAD_PROGRESS, 0, static_cast<LPARAM>(total));
        };
    return TransferToFile(url, localPath, progress).failure.Failed() ? 0 : 1;
}

int DownloadFile(std::string url, std::string localPath, HWND notify) {
    int result = FetchFile(url, localPath, notify);
    if (notify) ::SendMessageA(notify, WM_DOWNLOAD_DONE, 0, result);
    return result;
}

unsigned long long GetRemoteFileLength(const std::string& url) {
    const SystemLibrary wininet("wininet.dll");
    WinInet net;
    if (!net.LoadFrom(wininet)) return 0;
    // The length is the reply's Content-Length: a HEAD request gives it
    // without the body. A server that refuses HEAD (no reply, or an error
    // status) is asked with GET as before; that body is never read.
    char lengthText[kLengthTextBuffer];
    for (const char* verb : {"HEAD", "GET"}) {
        Request request(net, url, verb, kFreshFetch);
        if (!request.Get() || !ReplyIsResource(request.Get(), net.query)) continue;
        if (!QueryLengthText(request.Get(), net.query, lengthText)) return 0;
        return ScanDecimal(lengthText, nullptr, true, ULLONG_MAX);
    }
    return 0;
}

long GetRemoteFileSize(std::string url) {
    const unsigned long long length = GetRemoteFileLength(url);
    return length > static_cast<unsigned long long>(LONG_MAX) ? LONG_MAX : static_cast<long>(length);
}

std::string FetchFirstLine(std::string url) {
    if (ComputerIsOffline()) return std::string();

    Request request(WinInet(), url, "GET", kFreshFetch | INTERNET_FLAG_TRANSFER_ASCII);
    if (!request.Get() || !ReplyIsResource(request.Get(), &::HttpQueryInfoA)) return std::string();

    char lengthText[kLengthTextBuffer];
    const bool lengthKnown = QueryLengthText(request.Get(), &::HttpQueryInfoA, lengthText);
    const unsigned long long announced = lengthKnown ? ScanDecimal(lengthText, nullptr, true, ULLONG_MAX) : 0;

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
