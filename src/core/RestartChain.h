// "Quellfix.exe auto restart": unattended runs chained across the restarts
// Windows needs. After a round ends with 3010 the program registers itself
// once under RunOnce with the same words and restarts Windows; the next
// round runs at the next logon. The chain ends when a round leaves nothing
// to do, installs nothing new, fails, or after kRestartChainRounds rounds,
// and then leaves no RunOnce value and no state behind.
#pragma once
#include <string>

constexpr int kRestartChainRounds = 5;

enum class ChainStep {
    Restart,        // register RunOnce, restart Windows, go on after it
    Done,           // nothing left that needs a restart
    Stopped,        // the round failed, or was cancelled
    NothingNew,     // the round installed nothing new: another would not either
    RoundsUsedUp,   // kRestartChainRounds rounds have run
};

// What follows round `round` (1-based) that ended with `exitCode` and
// installed `installedNew` updates (found installed now that were not
// before the round).
ChainStep AfterChainRound(int round, int exitCode, int installedNew);

// The run log's line for the round and what follows it.
std::string ChainRoundText(int round, ChainStep step);

// The state kept between rounds (UPDATES\quellfix.chain): the number of the
// round that ended. A text that is no such number reads as 0: no chain.
std::string ChainStateText(int round);
int ParseChainState(const std::string& text);
