// Command line and program path (see CommandLine.h).
#include "core/CommandLine.h"

#include "core/Text.h"

std::string DirectoryOfPath(const std::string& path) {
    const std::string::size_type slash = path.rfind('\\');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash);
}

std::string FileNameParameter(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        // An empty word leaves the parameter unset, as a missing one would.
        if (word.empty() || word[0] == '/' || word[0] == '-') continue;
        return word;
    }
    return std::string();
}

bool IsDebugCommandLine(const std::vector<std::string>& words) {
    return EqualsIgnoringAsciiCase(FileNameParameter(words), "debug");
}

bool IsAutoCommandLine(const std::vector<std::string>& words) {
    return EqualsIgnoringAsciiCase(FileNameParameter(words), "auto");
}

bool IsRestartChainCommandLine(const std::vector<std::string>& words) {
    if (!IsAutoCommandLine(words)) return false;
    int plain = 0;
    for (const std::string& word : words) {
        if (word.empty() || word[0] == '/' || word[0] == '-') continue;
        if (++plain == 2) return EqualsIgnoringAsciiCase(word, "restart");
    }
    return false;
}
