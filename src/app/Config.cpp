// The build's configured addresses (see Config.h).
#include "app/Config.h"

#include "BuildConfig.h"
#include "app/Globals.h"

const char kUpdateServer[] = QUELLFIX_UPDATE_SERVER_TEXT;
const char kHomePage[] = QUELLFIX_HOME_PAGE_TEXT;

SelfUpdateSite DefaultSelfUpdateSite() {
    SelfUpdateSite site;
    site.serverBase = kUpdateServer;
    site.homePage = kHomePage;
    site.programDir = g_strProgramDir;
    return site;
}
