// Where the program's files come from: the update server over HTTP, or a
// repository folder laid out as the server's tree (a stick carried to a PC
// without a network). Every fetch of the program goes through one of them,
// so the catalog, the version file, the setup program and the installers
// come from the same place with the same rules.
#pragma once
#include <string>

#include "net/Download.h"

// One file of the server's tree or one installer, as both kinds of source
// find it.
struct Resource {
    std::string url;             // its http address on the server (or the catalog's URL)
    std::string repositoryPath;  // its place below a repository folder, with backslashes
    Resource Signature() const { return Resource{url + ".sig", repositoryPath + ".sig"}; }
};

class FileSource {
public:
    virtual ~FileSource() = default;
    // What the main window shows as the origin of the updates: the server's
    // address, or the repository's folder.
    virtual std::string Origin() const = 0;
    // A file of the server's tree, e.g. "update/v2/4_32_18.ini".
    virtual Resource ServerFile(const std::string& relative) const = 0;
    // An installer, by the URL its catalog entry gives.
    Resource Installer(const std::string& url) const;
    // The file's size in bytes; 0 when it cannot be learned. Length() is the
    // same without the bound of long.
    virtual unsigned long long Length(const Resource& resource) = 0;
    long Size(const Resource& resource);
    // Puts the file at `localPath` through `localPath` + ".part", reporting
    // the bytes so far; a failure names its cause.
    virtual TransferResult Fetch(const Resource& resource, const std::string& localPath,
                                 const TransferProgress& progress,
                                 const TransferOptions& options = TransferOptions()) = 0;
    // The first line of a small text file followed by "\n"; empty when it
    // cannot be read.
    virtual std::string FirstLine(const Resource& resource) = 0;
    // False when the computer is offline and the source needs the network.
    virtual bool Reachable() = 0;
    // True for a repository folder: nothing of it needs the network.
    virtual bool IsRepository() const { return false; }
};

// The update server at `base` ("http://.../").
class ServerSource : public FileSource {
public:
    explicit ServerSource(std::string base) : m_base(std::move(base)) {}
    std::string Origin() const override { return m_base; }
    Resource ServerFile(const std::string& relative) const override;
    unsigned long long Length(const Resource& resource) override;
    TransferResult Fetch(const Resource& resource, const std::string& localPath,
                         const TransferProgress& progress, const TransferOptions& options) override;
    std::string FirstLine(const Resource& resource) override;
    bool Reachable() override;

private:
    std::string m_base;
};

// A repository folder: its files are copied, never fetched over a network.
class RepositorySource : public FileSource {
public:
    explicit RepositorySource(std::string folder) : m_folder(std::move(folder)) {}
    std::string Origin() const override { return m_folder; }
    Resource ServerFile(const std::string& relative) const override;
    unsigned long long Length(const Resource& resource) override;
    TransferResult Fetch(const Resource& resource, const std::string& localPath,
                         const TransferProgress& progress, const TransferOptions& options) override;
    std::string FirstLine(const Resource& resource) override;
    bool Reachable() override { return true; }
    bool IsRepository() const override { return true; }

    // The full path of `resource` in the folder.
    std::string PathOf(const Resource& resource) const;

private:
    std::string m_folder;
};

// The name of the folder beside the program that stands in for the server.
extern const char kRepositoryFolderName[];  // "repository"
