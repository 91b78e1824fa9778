// SPDX-License-Identifier: MIT
// library_test.cpp
//
// The built libGaugelet.so loaded as the host loads it (LoadLibraryA, with
// DllMain's attach and detach): it offers the exports its lists name,
// nothing of its inside, and answers through them.
#include "artifacts/module_definition.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class GaugeletLibrary : public ::testing::Test {
  protected:
    void SetUp() override
    {
        module = LoadLibraryA(GAUGELET_LIBRARY);
        ASSERT_NE(module, nullptr) << GAUGELET_LIBRARY << " error " << GetLastError();
    }
    void TearDown() override
    {
        if (module != nullptr) {
            EXPECT_TRUE(FreeLibrary(module));
        }
    }
    template <typename Function> Function find(const char* name)
    {
        FARPROC address = GetProcAddress(module, name);
        return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
    }

    HMODULE module = nullptr;
};

TEST_F(GaugeletLibrary, EveryHostFunctionAndReaderIsExported)
{
    for (const std::string& name : artifacts::GaugeletExportNames())
        EXPECT_NE(GetProcAddress(module, name.c_str()), nullptr) << name;
}

TEST_F(GaugeletLibrary, ItsInsideIsHidden)
{
    for (const char* name :
         {"IsRefreshDue", "ReadRefreshSeconds", "NoInstanceText", "DllMain", "OpenDriverConnection",
          "CloseDriverConnection", "DriverLoaded", "DeviceHandle"}) {
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND) << name;
    }
}

TEST_F(GaugeletLibrary, AnswersThroughItsExports)
{
    auto init = find<const char* (*)(void)>("init");
    auto getparam = find<const char* (*)(const char*)>("getparam");
    auto getinfo = find<const char* (*)(unsigned)>("getinfo");
    auto dlltype = find<int (*)(void)>("dlltype");
    ASSERT_TRUE(init && getparam && getinfo && dlltype);
    EXPECT_EQ(std::strncmp(init(), "GetCPUTemp|", 11), 0);
    EXPECT_STREQ(getparam("GetFAN2RPM"), "refresh rate(seconds)=5|");
    EXPECT_STREQ(getinfo(2), "1.1");
    EXPECT_EQ(dlltype(), 1);
}

TEST_F(GaugeletLibrary, MakesAndFreesInstances)
{
    auto dllstartup = find<void* (*)(int, int)>("dllstartup");
    auto dllshutdown = find<int (*)(void*)>("dllshutdown");
    ASSERT_TRUE(dllstartup && dllshutdown);
    void* instance = dllstartup(0, 0);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(dllshutdown(instance), 0);
}

TEST(GaugeletLibraryLoads, LoadsAgainAfterBeingFreed)
{
    for (int round = 0; round < 2; ++round) {
        HMODULE module = LoadLibraryA(GAUGELET_LIBRARY);
        ASSERT_NE(module, nullptr) << "round " << round;
        EXPECT_TRUE(FreeLibrary(module)) << "round " << round;
    }
}

} // namespace
