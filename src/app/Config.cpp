// The build's configured addresses (see Config.h).
#include "app/Config.h"

#include "BuildConfig.h"
#include "app/Globals.h"

#include <windows.h>

const char kUpdateServer[] = QUELLFIX_UPDATE_SERVER_TEXT;
const char kHomePage[] = QUELLFIX_HOME_PAGE_TEXT;

std::unique_ptr<FileSource> UpdateSource(const std::string& programDir) {
    const std::string folder = programDir + "\\" + kRepositoryFolderName;
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::unique_ptr<FileSource>(new RepositorySource(folder));
    return std::unique_ptr<FileSource>(new ServerSource(kUpdateServer));
}

SelfUpdateSite DefaultSelfUpdateSite(FileSource* source) {
    SelfUpdateSite site;
    site.serverBase = kUpdateServer;
    site.homePage = kHomePage;
    site.programDir = g_strProgramDir;
    if (source && source->IsRepository()) site.source = source;
    return site;
}
