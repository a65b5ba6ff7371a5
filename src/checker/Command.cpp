// The command line (see Command.h).
#include "checker/Command.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>

#include "checker/CatalogCheck.h"
#include "checker/Explain.h"
#include "checker/Publishing.h"

namespace {

constexpr int kClean = 0;
constexpr int kErrorsFound = 1;
constexpr int kCannotWork = 2;

const char kUsage[] =
    "usage: quellfix-check check [--tree DIR [--base URL]] [--pubkey PEM] [--openssl PATH] "
    "[FILE...]\n"
    "       quellfix-check explain FILE --system SYSTEM\n"
    "\n"
    "check    reports what in each catalog FILE the program reads otherwise than it looks:\n"
    "         one line per finding, FILE:LINE: error|warning: [SECTION] message (kind).\n"
    "         --tree DIR   the served tree (the folder that holds update/): each entry's\n"
    "                      SHA256 is checked against the file its URL names there; with no\n"
    "                      FILE, every DIR/update/v2/*.ini is checked\n"
    "         --base URL   the address DIR is served at, when it is not a host's root\n"
    "         --pubkey PEM the key a signed build trusts: each FILE.sig must verify with it\n"
    "         --openssl P  the openssl program (default: openssl on PATH)\n"
    "         Exit status 1 when there is an error, 2 when the check could not be made.\n"
    "explain  evaluates the catalog FILE for the PC described in SYSTEM, as the program\n"
    "         does, and tells for each entry whether it is listed, listed as installed, or\n"
    "         not listed and by which rule.\n";

bool ReadFile(const std::string& path, std::string& bytes, std::string& problem) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        problem = "it is a folder";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        problem = "read error";
        return false;
    }
    bytes = content.str();
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The catalogs of a served tree, by name.
std::vector<std::string> TreeCatalogs(const std::string& tree) {
    std::vector<std::string> files;
    const std::string folder = tree + "/update/v2";
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name[0] != '.' &&
                (name.compare(name.size() - 4, 4, ".ini") == 0 ||
                 name.compare(name.size() - 4, 4, ".INI") == 0))
                files.push_back(folder + "/" + name);
        }
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Arguments {
    std::string command;
    std::vector<std::string> files;
    std::string tree, base, pubkey, system;
    std::string openssl = "openssl";
    bool help = false;
};

// False with `problem` for a command line that makes no sense.
bool Parse(const std::vector<std::string>& list, Arguments& args, std::string& problem) {
    const struct {
        const char* name;
        std::string Arguments::*field;
    } options[] = {{"--tree", &Arguments::tree},       {"--base", &Arguments::base},
                   {"--pubkey", &Arguments::pubkey},   {"--openssl", &Arguments::openssl},
                   {"--system", &Arguments::system}};
    bool onlyFiles = false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string& word = list[i];
        if (!onlyFiles && (word == "-h" || word == "--help")) {
            args.help = true;
            return true;
        }
        if (!onlyFiles && word == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles && word.size() > 1 && word[0] == '-') {
            bool known = false;
            for (const auto& option : options) {
                const std::string name = option.name;
                if (word == name) {
                    if (i + 1 >= list.size()) {
                        problem = name + " needs a value";
                        return false;
                    }
                    args.*option.field = list[++i];
                    known = true;
                } else if (word.compare(0, name.size() + 1, name + "=") == 0) {
                    args.*option.field = word.substr(name.size() + 1);
                    known = true;
                }
            }
            if (!known) {
                problem = "unknown option " + word;
                return false;
            }
            continue;
        }
        if (args.command.empty())
            args.command = word;
        else
            args.files.push_back(word);
    }
    if (args.command != "check" && args.command != "explain") {
        problem = args.command.empty() ? "no command" : "unknown command " + args.command;
        return false;
    }
    if (args.command == "explain") {
        if (args.files.size() != 1 || args.system.empty()) {
            problem = "explain takes one FILE and --system SYSTEM";
            return false;
        }
        if (!args.tree.empty() || !args.base.empty() || !args.pubkey.empty()) {
            problem = "--tree, --base and --pubkey belong to check";
            return false;
        }
        return true;
    }
    if (!args.system.empty()) {
        problem = "--system belongs to explain";
        return false;
    }
    if (!args.base.empty() && args.tree.empty()) {
        problem = "--base goes with --tree";
        return false;
    }
    if (args.files.empty() && args.tree.empty()) {
        problem = "no catalog to check";
        return false;
    }
    return true;
}

int Check(const Arguments& args, std::ostream& out, std::ostream& err) {
    Openssl openssl(args.openssl);
    CheckOptions options;
    options.tree = args.tree;
    options.base = args.base;
    options.pubkey = args.pubkey;
    if (!options.tree.empty() && !IsFolder(options.tree)) {
        err << "quellfix-check: --tree " << options.tree << " is not a folder\n";
        return kCannotWork;
    }
    std::string problem;
    if (!options.pubkey.empty() && !openssl.ReadsPublicKey(options.pubkey, problem)) {
        err << "quellfix-check: cannot read the public key " << options.pubkey << ": " << problem
            << "\n";
        return kCannotWork;
    }
    std::vector<std::string> files = args.files;
    if (files.empty()) files = TreeCatalogs(options.tree);
    if (files.empty()) {
        err << "quellfix-check: " << options.tree << "/update/v2 holds no catalog (*.ini)\n";
        return kCannotWork;
    }

    int status = kClean;
    std::size_t errors = 0, warnings = 0;
    for (const std::string& file : files) {
        std::string bytes;
        if (!ReadFile(file, bytes, problem)) {
            err << "quellfix-check: cannot read " << file << ": " << problem << "\n";
            status = kCannotWork;
            continue;
        }
        const CatalogReport report = CheckCatalog(file, bytes, options, openssl);
        for (const Finding& finding : report.findings) {
            out << FormatFinding(file, finding) << "\n";
            ++(finding.severity == Severity::Error ? errors : warnings);
        }
        if (!report.toolProblem.empty()) {
            err << "quellfix-check: " << file << ": " << report.toolProblem << "\n";
            status = kCannotWork;
        }
    }
    out << files.size() << (files.size() == 1 ? " catalog: " : " catalogs: ") << errors
        << (errors == 1 ? " error, " : " errors, ") << warnings
        << (warnings == 1 ? " warning\n" : " warnings\n");
    if (status == kClean && errors > 0) status = kErrorsFound;
    return status;
}

int Explain(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string catalog, systemText, problem;
    const std::string& file = args.files[0];
    if (!ReadFile(file, catalog, problem)) {
        err << "quellfix-check: cannot read " << file << ": " << problem << "\n";
        return kCannotWork;
    }
    if (!ReadFile(args.system, systemText, problem)) {
        err << "quellfix-check: cannot read " << args.system << ": " << problem << "\n";
        return kCannotWork;
    }
    SystemDescription system;
    if (!ParseSystemFile(systemText, system, problem)) {
        err << "quellfix-check: " << args.system << ": " << problem << "\n";
        return kCannotWork;
    }
    if (system.name.empty()) system.name = args.system;
    const IniText ini(catalog);
    for (const std::string& line : FormatExplanation(file, ExplainCatalog(ini, system), system))
        out << line << "\n";
    return kClean;
}

}  // namespace

int RunChecker(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    Arguments args;
    std::string problem;
    if (!Parse(arguments, args, problem)) {
        err << "quellfix-check: " << problem << "\n" << kUsage;
        return kCannotWork;
    }
    if (args.help) {
        out << kUsage;
        return kClean;
    }
    return args.command == "check" ? Check(args, out, err) : Explain(args, out, err);
}
