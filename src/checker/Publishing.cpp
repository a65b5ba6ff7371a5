// The served tree and openssl (see Publishing.h).
#include "checker/Publishing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

// openssl says little; this bounds what a runaway program can make us keep.
constexpr std::size_t kOutputLimit = 1 << 20;

// A descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }
    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

std::string FirstLine(const std::string& text) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string line = text.substr(0, end);
    return line.empty() ? std::string("no explanation") : line;
}

std::string Reason(const ProgramRun& run, const std::string& program) {
    if (!run.started) return program + " could not be started";
    return FirstLine(run.output);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& arguments) {
    ProgramRun run;
    if (arguments.empty()) return run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return run;
    Descriptor readEnd(ends[0]), writeEnd(ends[1]);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return run;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 2);

    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Close();
    if (spawned != 0) return run;

    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (run.output.size() < kOutputLimit) run.output.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return run;
    }
    run.started = true;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string PathArgument(const std::string& path) {
    return !path.empty() && path[0] == '-' ? "./" + path : path;
}

bool Openssl::ReadsPublicKey(const std::string& pem, std::string& problem) const {
    const ProgramRun run =
        RunProgram({m_program, "pkey", "-pubin", "-noout", "-in", PathArgument(pem)});
    if (run.started && run.exitStatus == 0) return true;
    problem = Reason(run, m_program);
    return false;
}

bool Openssl::Sha256(const std::string& path, std::string& digest, std::string& problem) {
    const auto known = m_digests.find(path);
    if (known != m_digests.end()) {
        digest = known->second;
        return true;
    }
    // "-r" prints the digest first: "<64 digits> *<file>".
    const ProgramRun run = RunProgram({m_program, "dgst", "-sha256", "-r", PathArgument(path)});
    std::string hex = run.output.substr(0, 64);
    bool ok = run.started && run.exitStatus == 0 && hex.size() == 64;
    for (char& c : hex) {
        if (HexDigit(c) < 0) ok = false;
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    }
    if (!ok) {
        problem = Reason(run, m_program);
        return false;
    }
    m_digests[path] = hex;
    digest = hex;
    return true;
}

bool Openssl::Verifies(const std::string& pem, const std::string& file,
                       const std::string& signature, std::string& problem) const {
    const ProgramRun run =
        RunProgram({m_program, "dgst", "-sha256", "-verify", PathArgument(pem), "-signature",
                    PathArgument(signature), PathArgument(file)});
    if (run.started && run.exitStatus == 0 && run.output.find("Verified OK") != std::string::npos)
        return true;
    problem = Reason(run, m_program);
    return false;
}

std::string ServedFile(const std::string& tree, const std::string& url, const std::string& base) {
    std::string path;
    if (!base.empty()) {
        if (url.compare(0, base.size(), base) != 0) return std::string();
        path = url.substr(base.size());
    } else {
        const std::size_t scheme = url.find("://");
        if (scheme == std::string::npos) return std::string();
        const std::size_t slash = url.find('/', scheme + 3);
        if (slash == std::string::npos) return std::string();
        path = url.substr(slash);
    }
    path = path.substr(0, path.find_first_of("?#"));

    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') {
            decoded += path[i];
            continue;
        }
        if (i + 2 >= path.size() || HexDigit(path[i + 1]) < 0 || HexDigit(path[i + 2]) < 0)
            return std::string();
        decoded += static_cast<char>(HexDigit(path[i + 1]) * 16 + HexDigit(path[i + 2]));
        i += 2;
    }

    std::string file = tree;
    bool any = false;
    std::size_t start = 0;
    while (start <= decoded.size()) {
        std::size_t end = decoded.find('/', start);
        if (end == std::string::npos) end = decoded.size();
        const std::string part = decoded.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." || part.find('\\') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return std::string();
        file += "/" + part;
        any = true;
    }
    return any && IsRegularFile(file) ? file : std::string();
}
