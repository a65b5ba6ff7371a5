// What the volume a folder lies on can still hold.
#pragma once
#include <string>

// The bytes free for the caller on the volume of `folder`; false when
// Windows cannot say.
bool FreeDiskBytes(const std::string& folder, unsigned long long& bytes);
