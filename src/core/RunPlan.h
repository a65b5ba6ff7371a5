// What the run window carries for each chosen update and what it does after
// each download: plain decisions the window follows, kept apart from it so
// they hold without a window.
#pragma once
#include <cstddef>
#include <string>

#include "core/CatalogModel.h"
#include "core/UpdateFiles.h"

// One chosen update, in list order.
struct RunItem {
    std::string title;
    std::string url;
    std::string path;  // empty when the catalog's file name would leave UPDATES
    std::string cmdLine;
    std::string sha256;  // the catalog's text; empty when it pins nothing
    int entry = 0;       // its catalog entry number (0: not from a catalog)
    int attempt = 1;     // this start of its installer since it last counted as installed
};
RunItem RunItemOf(const RunEntry& entry, const std::string& folder, int number = 0);

// A file already in place counts as downloaded only against a size the
// server gave: an empty answer says nothing about the file.
inline bool AlreadyDownloaded(long serverSize, long localLength) {
    return serverSize > 0 && localLength == serverSize;
}

// How one download ended, as the download thread reports it.
enum class DownloadResult { Failed = 0, Fetched = 1, AlreadyThere = 2, NotTheFile = 3 };

// What an item's download left for the install phase: only a present file
// is ever run.
enum class ItemState { Absent, Present, Unverified };
ItemState StateAfter(DownloadResult result);
// The log's line for the finished download.
const char* DownloadDoneText(DownloadResult result);
// The log's line for an item that is not installed because of its state.
std::string NotInstalledText(ItemState state, int n, int total, const std::string& title);

// After the download of item `finished` (counted from 0) of `count`: the
// next download, the end of a cancelled run, or the installs.
enum class NextStep { Download, Cancelled, Install };
NextStep AfterDownload(std::size_t finished, std::size_t count, bool cancelAsked);

// The digest an item must have before it is kept or run. `required` holds
// in a signed build, and whenever the catalog gave text: text that is no
// digest leaves an item that cannot be verified.
struct DigestRule {
    bool pinned = false;  // `digest` holds the catalog's SHA-256
    bool required = false;
    Sha256Digest digest{};
};
DigestRule DigestRuleOf(const std::string& text, bool signedBuild);
