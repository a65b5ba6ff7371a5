// The name that keeps one Quellfix per installation: two copies started from
// the same folder share it, copies in different folders do not.
#pragma once
#include <string>

// "Quellfix-" and the program folder in lower-case ASCII letters, with '/'
// for '\\' (kernel object names take no backslash), at most 250 characters:
// a longer folder keeps its last characters, where installations differ.
std::string InstanceName(const std::string& programDir);
