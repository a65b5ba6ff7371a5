// Addresses fixed when the program is built (CMake cache variables
// QUELLFIX_UPDATE_SERVER and QUELLFIX_HOME_PAGE).
#pragma once
#include "app/SelfUpdate.h"

// Base address of the update server: an http address ending in "/".
extern const char kUpdateServer[];
// The program's home page, shown in the main window's caption.
extern const char kHomePage[];

// The self-update's addresses: the build's server and home page, and the
// program directory.
SelfUpdateSite DefaultSelfUpdateSite();
