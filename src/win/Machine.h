// What Windows tells about the machine the program runs on: its name, and
// what the volume a folder lies on can still hold.
#pragma once
#include <string>

// The computer's NetBIOS name; empty when Windows cannot say.
std::string ComputerName();

// The bytes free for the caller on the volume of `folder`; false when
// Windows cannot say.
bool FreeDiskBytes(const std::string& folder, unsigned long long& bytes);
