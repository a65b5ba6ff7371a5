// Operating-system identification live under Wine's emulation of each
// Windows version: the facts gathered and the name written to the caller.
#include <gtest/gtest.h>

#include <cstring>

#include "inventory/OsFacts.h"
#include "support/InventorySupport.h"

using namespace testing_support;

namespace {

TEST(OsIdentificationLive, WritesNoMoreThan256BytesOfTheName) {
    char buffer[1024];
    std::memset(buffer, '#', sizeof buffer);
    buffer[0] = '\0';
    int osCode = 0, osBits = 64, servicePack = 0;
    IdentifyOperatingSystem(buffer, osCode, osBits, servicePack);
    size_t length = strnlen(buffer, sizeof buffer);
    ASSERT_LT(length, 256u);
    EXPECT_EQ(std::string(buffer, 10), "Microsoft ");
    EXPECT_EQ(std::string(buffer + length + 1, buffer + sizeof buffer), std::string(sizeof buffer - length - 1, '#'));
}

// Probe output: name, OS code, bits, service pack, IsWindows98, IsWindowsNT.
// One system for each set of facts gathered (the names that other facts
// make are the native tables' rows).
TEST(OsIdentificationLive, NamesEachKindOfSystemWineEmulates) {
    const char* unsupported = "This program does not support this version of Windows.";
    // A 64-bit build sees the 64-bit editions Wine reports to 64-bit processes.
    const bool kWide = sizeof(void*) == 8;
    const std::string bits = kWide ? "64" : "32";
    const struct { const char* version; std::vector<std::string> lines; } cases[] = {
        {"win98", {"Microsoft Windows98 SE ", "1", "32", "1", "1", "0"}},
        {"winxp", {"Microsoft Windows XP Professional Service Pack 3 (build 2600)", "4", "32", "3", "0", "1"}},
        {"win2003", {std::string("Microsoft Windows Server 2003, Standard ") + (kWide ? "x64 " : "") +
                         "Edition Service Pack 2 (build 3790)", "5", "32", "2", "0", "1"}},
        // Wine answers GetProductInfo with 28, which has no edition text.
        {"vista", {"Microsoft Windows Vista , " + bits + "-bit Service Pack 2 (build 6002)", "6", bits, "2", "0", "1"}},
        // The message once for the identification, once for IsWindows98.
        {"nt40", {unsupported, unsupported, "", "0", "32", "0", "0", "1"}},
    };
    for (const auto& c : cases) EXPECT_EQ(RunInventoryProbe(c.version, "os"), c.lines) << c.version;
}

}  // namespace
