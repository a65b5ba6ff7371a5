// The build's configured addresses (see Config.h).
#include "app/Config.h"

#include "BuildConfig.h"

const char kUpdateServer[] = QUELLFIX_UPDATE_SERVER_TEXT;
const char kHomePage[] = QUELLFIX_HOME_PAGE_TEXT;
