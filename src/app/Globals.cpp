// Program directory and debug switch (see Globals.h).
#include "app/Globals.h"

#include <windows.h>

#include <cstdlib>

std::string g_strProgramDir;
int g_bDebug = 0;
int g_bAuto = 0;

std::string CatalogPath() { return g_strProgramDir + "\\quellfix.ini"; }

int g_bRestartChain = 0;

std::string RunningProgramPath() {
    // Grow the buffer until the whole path fits (long paths exceed MAX_PATH).
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size() - 1) return std::string(buffer.data(), n);
        if (buffer.size() > 32768) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::string RunningProgramDirectory() {
    const std::string path = RunningProgramPath();
    return path.empty() ? path : DirectoryOfPath(path);
}

std::vector<std::string> CommandLineWords() {
    std::vector<std::string> words;
    for (int i = 1; i < __argc; ++i) {
        if (__argv && __argv[i]) words.emplace_back(__argv[i]);
    }
    return words;
}
