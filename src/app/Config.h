// Addresses fixed when the program is built (CMake cache variables
// QUELLFIX_UPDATE_SERVER and QUELLFIX_HOME_PAGE).
#pragma once
#include <memory>
#include <string>

#include "app/SelfUpdate.h"
#include "net/Source.h"

// Base address of the update server: an http address ending in "/".
extern const char kUpdateServer[];
// The program's home page, shown in the main window's caption.
extern const char kHomePage[];

// Where updates come from: the folder "repository" beside the program when
// there is one (it then stands in for the server, and nothing goes to the
// network), otherwise the build's update server.
std::unique_ptr<FileSource> UpdateSource(const std::string& programDir);
// The self-update's addresses: the build's server and home page, the
// program directory, and `source` when it is a repository.
SelfUpdateSite DefaultSelfUpdateSite(FileSource* source = nullptr);
