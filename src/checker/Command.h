// The command line of quellfix-check: "check" lists what is wrong with
// catalogs, "explain" tells why each entry of a catalog shows on one PC or
// not. Kept apart from main() so that the tests run the very same command.
//
// Layer: checker/ (built natively only) may use core; nothing of the Windows side.
#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// Exit statuses: 0 done (check: no errors), 1 check found errors, 2 a usage
// error, an unreadable file or a tool that could not do its part.
int RunChecker(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
