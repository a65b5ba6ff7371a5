// The files an update run keeps beside its run log in UPDATES, so that runs
// survive what ends them early: the run journal (core/RunJournal.h), the
// install history (core/InstallHistory.h) and the state of a restart chain
// (core/RestartChain.h); and the Windows side of the chain: its RunOnce
// value and the restart itself.
#pragma once
#include <string>

#include "core/InstallHistory.h"

// The files, in the program's UPDATES folder.
std::string JournalPath(const std::string& programDir);
std::string HistoryPath(const std::string& programDir);
std::string ChainStatePath(const std::string& programDir);

// The whole of a small text file; empty when it is missing or cannot be read.
std::string ReadSmallFile(const std::string& path);
// Replaces the file with `text` in one move (written to a ".new" beside it
// first), so it is never left half written; an empty text deletes it.
bool ReplaceSmallFile(const std::string& path, const std::string& text);

InstallHistory LoadHistory(const std::string& programDir);
void SaveHistory(const std::string& programDir, const InstallHistory& history);

// The restart chain's RunOnce value: registered with the words of the
// chain, removed on every way out of it.
bool RegisterChainRunOnce(const std::string& programPath);
void RemoveChainRunOnce();
// True when the value is there (tests and the start-up look).
bool ChainRunOnceRegistered();

// Restarts Windows (the shutdown right enabled first); false when Windows
// refuses. A test build stands a marker file in for it (see the .cpp).
bool RestartWindows(const std::string& programDir);

// The records that say Windows waits for a restart: the session manager's
// PendingFileRenameOperations, and (Vista and later) the component
// servicing's RebootPending key; empty when there are none.
std::string PendingRestartRecords();
