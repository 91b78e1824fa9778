// SPDX-License-Identifier: MIT
// driver_architecture_test.cpp
//
// install's decision on the architectures of the tool and of Windows: only
// a 32-bit tool on 64-bit Windows refuses, and it names the 64-bit tool.
#include "tools/zephrctl/driver_architecture.h"

#include <gtest/gtest.h>

namespace {

TEST(ZephrctlInstallArchitecture, OnlyThe32BitToolOn64BitWindowsRefuses)
{
    struct Row {
        bool toolIs64Bit;
        bool windowsIs64Bit;
        bool refuses;
    };
    const Row rows[] = {{false, false, false}, {true, true, false}, {false, true, true}};
    for (const Row& row : rows) {
        std::optional<std::string> refusal =
            zephrctl::installArchitectureRefusal(row.toolIs64Bit, row.windowsIs64Bit);
        EXPECT_EQ(refusal.has_value(), row.refuses)
            << "tool 64-bit " << row.toolIs64Bit << ", Windows 64-bit " << row.windowsIs64Bit;
        if (refusal) {
            EXPECT_NE(refusal->find("x64\\zephrctl.exe install"), std::string::npos) << *refusal;
        }
    }
}

} // namespace
