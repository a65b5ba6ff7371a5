// The server and the repository folder (see Source.h).
#include "net/Source.h"

#include <vector>

#include "core/UpdateFiles.h"
#include "win/Handle.h"

const char kRepositoryFolderName[] = "repository";

namespace {

// The repository's files are read in large pieces; the progress is still
// told in the steps a download tells it.
constexpr DWORD kCopyPiece = 64 * 1024;

}  // namespace

long FileSource::Size(const Resource& resource) {
    const unsigned long long length = Length(resource);
    return length > 0x7FFFFFFFULL ? 0x7FFFFFFFL : static_cast<long>(length);
}

Resource FileSource::Installer(const std::string& url) const {
    return Resource{url, RepositoryPathOfUrl(url)};
}

// -- The server -------------------------------------------------------------

Resource ServerSource::ServerFile(const std::string& relative) const {
    std::string path = relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return Resource{m_base + relative, path};
}

unsigned long long ServerSource::Length(const Resource& resource) { return GetRemoteFileLength(resource.url); }

TransferResult ServerSource::Fetch(const Resource& resource, const std::string& localPath,
                                   const TransferProgress& progress, const TransferOptions& options) {
    return TransferToFile(resource.url, localPath, progress, options);
}

std::string ServerSource::FirstLine(const Resource& resource) { return FetchFirstLine(resource.url); }

bool ServerSource::Reachable() { return !ComputerIsOffline(); }

// -- The repository folder --------------------------------------------------

Resource RepositorySource::ServerFile(const std::string& relative) const {
    std::string path = relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return Resource{std::string(), path};
}

std::string RepositorySource::PathOf(const Resource& resource) const {
    return m_folder + "\\" + resource.repositoryPath;
}

unsigned long long RepositorySource::Length(const Resource& resource) {
    const long long length = LocalFileLength(PathOf(resource));
    return length > 0 ? static_cast<unsigned long long>(length) : 0;
}

TransferResult RepositorySource::Fetch(const Resource& resource, const std::string& localPath,
                                       const TransferProgress& progress, const TransferOptions&) {
    TransferResult result;
    const std::string from = PathOf(resource);
    if (localPath.empty()) {
        result.failure.cause = FetchCause::UnsafeName;
        return result;
    }
    KernelHandle in(::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) {
        const DWORD error = ::GetLastError();
        result.failure = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                             ? FailureOf(FetchCause::NotInRepository, error, from)
                             : FailureOf(FetchCause::RepositoryRead, error, from);
        return result;
    }
    const std::string partPath = localPath + ".part";
    {
        KernelHandle out(::CreateFileA(partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) {
            result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
            return result;
        }
        std::vector<char> piece(kCopyPiece);
        unsigned long long total = 0;
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(in.Get(), piece.data(), kCopyPiece, &got, nullptr)) {
                result.failure = FailureOf(FetchCause::RepositoryRead, ::GetLastError(), from);
                return result;
            }
            if (got == 0) break;
            DWORD written = 0;
            if (!::WriteFile(out.Get(), piece.data(), got, &written, nullptr) || written != got) {
                result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
                return result;
            }
            // Told as a download tells it: a step per block of kDownloadBlock.
            for (DWORD told = 0; told < got;) {
                const DWORD step = got - told < kDownloadBlock ? got - told : kDownloadBlock;
                told += step;
                total += step;
                if (progress) progress(total);
            }
        }
        result.bytes = total;
        if (!out.Close()) {
            result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), partPath);
            return result;
        }
    }
    if (!::MoveFileExA(partPath.c_str(), localPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        result.failure = FailureOf(FetchCause::DiskWrite, ::GetLastError(), localPath);
    return result;
}

std::string RepositorySource::FirstLine(const Resource& resource) {
    KernelHandle in(::CreateFileA(PathOf(resource).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.Valid()) return std::string();
    std::vector<char> text(kFirstLineLimit + 1);
    DWORD got = 0;
    if (!::ReadFile(in.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) || got == 0)
        return std::string();
    std::string line(text.data(), got);
    const std::size_t feed = line.find('\n');
    if (feed != std::string::npos) line.erase(feed);
    if (line.size() > kFirstLineLimit) line.erase(kFirstLineLimit);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line + "\n";
}
