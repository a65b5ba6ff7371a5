// The publishing side of a catalog: the served tree its URLs point into and
// the openssl program that hashes the served files and checks signatures.
// openssl is started directly with its arguments (never through a shell),
// so no file name is ever read as anything but a file name.
#pragma once
#include <map>
#include <string>
#include <vector>

struct ProgramRun {
    bool started = false;  // false: the program could not be started at all
    int exitStatus = -1;   // its exit status; -1 when it ended otherwise
    std::string output;    // what it wrote to standard output and standard error
};

// Runs `arguments` (the first is the program, looked up on PATH) with
// standard input from /dev/null and waits for it to end.
ProgramRun RunProgram(const std::vector<std::string>& arguments);

class Openssl {
public:
    explicit Openssl(std::string program) : m_program(std::move(program)) {}

    // False (with `problem` saying why) when openssl cannot be run or does
    // not read `pem` as a public key.
    bool ReadsPublicKey(const std::string& pem, std::string& problem) const;
    // The SHA-256 of the file at `path`, 64 lower-case hexadecimal digits;
    // false with `problem` when openssl gives none. Each file is hashed once.
    bool Sha256(const std::string& path, std::string& digest, std::string& problem);
    // True when `signature` is `pem`'s signature of `file` (RSA, SHA-256).
    bool Verifies(const std::string& pem, const std::string& file, const std::string& signature,
                  std::string& problem) const;

private:
    std::string m_program;
    std::map<std::string, std::string> m_digests;
};

// The file below `tree` that `url` downloads, or empty text when it names
// none: the URL's path below its host (or below `base`, the address the tree
// is served at, when given), %-escapes decoded; a path that would leave the
// tree names none.
std::string ServedFile(const std::string& tree, const std::string& url, const std::string& base);

// `path` as an argument no program takes for an option.
std::string PathArgument(const std::string& path);
