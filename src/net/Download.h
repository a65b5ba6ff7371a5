// The program's whole network layer: three plain functions over WinINet that
// fetch a URL into a file, ask a resource's length, and read the first line
// of a small text resource. Each call opens and closes its own Internet
// session with the system's proxy settings and always asks the server (never
// the local cache), so calls share no state and may run on any thread.
//
// A reply whose HTTP status is outside 200-299 is never taken for the
// resource: the error page of a server is not an installer, a length or a
// version line.
//
// Layer: net/ may use trust, ui, registry and core; never catalog, app or run.
#pragma once
#include <windows.h>

#include <string>

#include <functional>

#include "core/FetchFailure.h"
#include "core/Text.h"  // ParseContentLength

// DownloadFile reads the body in pieces of this many bytes, and sends one
// WM_DOWNLOAD_PROGRESS per piece.
constexpr DWORD kDownloadBlock = 512;
// The Content-Length header is read as text into a buffer of this size.
constexpr DWORD kLengthTextBuffer = 32;
// FetchFirstLine keeps at most this many bytes of the line.
constexpr size_t kFirstLineLimit = 4096;
// Every request gives up after this long without progress: connecting,
// sending, and each wait for the reply or for more of its body.
constexpr DWORD kNetworkTimeLimitMs = 30 * 1000;
// The name the program gives itself in its requests.
extern const char* const kHttpAgent;

// Called with the bytes of the file received so far (those already on
// disk from an earlier transfer included), after each piece is read.
using TransferProgress = std::function<void(unsigned long long total)>;

struct TransferOptions {
    // Continue what an earlier transfer left in `localPath` + ".part" with a
    // Range request, when `knownSize` (the server's size, asked before) is
    // larger than it; the server must answer 206 with exactly the rest, any
    // other answer means a fetch from byte zero.
    bool resume = false;
    unsigned long long knownSize = 0;
};

struct TransferResult {
    FetchFailure failure;               // FetchCause::None: the file is in place
    unsigned long long bytes = 0;       // bytes of the file on disk when it ended
    unsigned long long resumedFrom = 0; // bytes kept from an earlier transfer
};

// A failure of `cause` with the Win32 or WinINet error `code` and Windows'
// own words for it, about `where`.
FetchFailure FailureOf(FetchCause cause, unsigned long code, const std::string& where);

// Copies the resource at `url` into `localPath` through `localPath` +
// ".part", which replaces `localPath` only when the whole body has arrived;
// a failure says why (connection, time limit, HTTP status, short body, disk).
TransferResult TransferToFile(const std::string& url, const std::string& localPath,
                              const TransferProgress& progress,
                              const TransferOptions& options = TransferOptions());

// Copies the resource at `url` into `localPath`. The body is written to
// `localPath` + ".part", which replaces `localPath` only when the whole body
// has arrived, so a failed transfer leaves an earlier file at the path as it
// was (the ".part" file stays behind for inspection).
//
// Sends `notify` (when not null), with SendMessageA, WM_DOWNLOAD_PROGRESS for
// every piece read, before it is written, with the total received so far, and
// WM_DOWNLOAD_DONE once at the end with the result. Returns 1 on success, 0
// when the URL cannot be opened, the status is not 2xx, the local file cannot
// be created, written or moved into place, the connection fails, or fewer
// bytes arrive than a Content-Length announced.
int DownloadFile(std::string url, std::string localPath, HWND notify);

// DownloadFile without the final WM_DOWNLOAD_DONE: for a caller that checks
// the file before it reports the outcome.
int FetchFile(const std::string& url, const std::string& localPath, HWND notify);

// The resource's length from its Content-Length header; 0 when it cannot be
// learned (no header, an error status, no connection). A length beyond the
// range of long is given as LONG_MAX.
long GetRemoteFileSize(std::string url);
// The same without the bound of long: files beyond 2 GB keep their length.
unsigned long long GetRemoteFileLength(const std::string& url);

// The first line of the resource followed by "\n" (a line ending in "\r\n"
// loses both; a last line without a line feed counts as a line); empty text
// when the computer is offline, the URL cannot be opened, the status is not
// 2xx, the body is empty, or the connection ends before the line does. Lines
// longer than kFirstLineLimit are cut.
std::string FetchFirstLine(std::string url);

// True when Windows says the computer is offline (InetIsOffline of url.dll,
// looked up at run time); false when it cannot be asked.
bool ComputerIsOffline();

// The length of the local file at `path`, which callers compare with the
// server's size to skip a transfer; -1 when there is no such file.
long long LocalFileLength(const std::string& path);

