// SPDX-License-Identifier: MIT
// wine_suite.h
//
// What the Wine tests share: the fixture that boots a prefix of either
// architecture (a 32-bit one skips where 32-bit Wine cannot start),
// the driver's debug messages out of a session's events, and the event list
// a plug-in load makes.
#pragma once

#include "common/zephr_ioctl.h"
#include "wine/machine_probe.h"
#include "wine/wine_prefix.h"
#include "wine/wine_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace wine_test {

// A test with a fresh prefix of its own, of the architecture that is the
// test's parameter, booted in SetUp; a 32-bit prefix, where the machine
// runs no 32-bit code, skips the test before any Wine command runs. A
// fixture that derives from it calls its SetUp first and stops when
// IsSkipped(), and takes its binaries from binary(), the build of the
// prefix's architecture.
class WinePrefixTest : public ::testing::TestWithParam<WineArchitecture> {
  protected:
    void SetUp() override
    {
        if (architecture().needs32BitCode)
            ZEPHR_SKIP_WITHOUT_32BIT_CODE();
        prefix_.emplace(architecture());
    }
    const WineArchitecture& architecture() const
    {
        return GetParam();
    }
    std::filesystem::path binary(const std::string& name) const
    {
        return architecture().binary(name);
    }
    WinePrefix& prefix()
    {
        return *prefix_;
    }

  private:
    std::optional<WinePrefix> prefix_;
};

// The test's name suffix: the architecture.
inline std::string architectureName(const ::testing::TestParamInfo<WineArchitecture>& info)
{
    return info.param.name;
}

// Instantiates a WinePrefixTest fixture for both architectures, or for one.
#define ZEPHR_WINE_ON_BOTH(fixture)                                                                \
    INSTANTIATE_TEST_SUITE_P(Wine, fixture, ::testing::Values(win32, win64), architectureName)
#define ZEPHR_WINE_ON_WIN32(fixture)                                                               \
    INSTANTIATE_TEST_SUITE_P(Wine, fixture, ::testing::Values(win32), architectureName)
#define ZEPHR_WINE_ON_WIN64(fixture)                                                               \
    INSTANTIATE_TEST_SUITE_P(Wine, fixture, ::testing::Values(win64), architectureName)

// The "Zephr: ..." messages alone, without the requests.
inline std::vector<std::string> driverMessages(const std::vector<std::string>& events)
{
    std::vector<std::string> messages;
    for (const std::string& event : events)
        if (event.rfind("Zephr: ", 0) == 0)
            messages.push_back(event);
    return messages;
}

// What the driver sees of one plug-in load that runs one reader: the open
// and the system information request of the library's attach, the reader's
// request (none when it is empty), and the close at detach.
inline std::vector<std::string> pluginLoadEvents(const std::string& readerRequest)
{
    std::vector<std::string> events = {
        "Zephr: Open / Close", "ioctl 9c40a448 in 0 out " + std::to_string(ZEPHR_SYSINFO_LENGTH)};
    if (!readerRequest.empty())
        events.push_back(readerRequest);
    events.push_back("Zephr: Open / Close");
    return events;
}

inline const std::vector<std::string> driverLoadMessages = {"Zephr: DriverEntry successful"};
inline const std::vector<std::string> driverUnloadMessages = {
    "Zephr: Entering unload function", "Zephr: Link removed", "Zephr: End of unload"};

// The lists one after the other.
inline std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> lists)
{
    std::vector<std::string> all;
    for (const std::vector<std::string>& list : lists)
        all.insert(all.end(), list.begin(), list.end());
    return all;
}

} // namespace wine_test
