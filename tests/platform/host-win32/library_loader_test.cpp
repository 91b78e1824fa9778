// SPDX-License-Identifier: MIT
// library_loader_test.cpp
//
// LoadLibraryA, GetProcAddress and FreeLibrary: DllMain hears the process
// attach at the first load and the detach at the last free, a refused attach
// fails the load, and unknown files, names and modules are told apart.
#include "platform/host-win32/win32_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<HINSTANCE, DWORD>> dllMainCalls;
BOOL attachAnswer = TRUE;

bool resident(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

class LibraryLoader : public testing::Test {
  protected:
    void SetUp() override
    {
        dllMainCalls.clear();
        attachAnswer = TRUE;
    }
};

} // namespace

extern "C" BOOL PlatformTestDllMain(HINSTANCE instance, DWORD reason)
{
    dllMainCalls.emplace_back(instance, reason);
    return reason == DLL_PROCESS_ATTACH ? attachAnswer : TRUE;
}

namespace {

TEST_F(LibraryLoader, DllMainHearsAttachAtLoadAndDetachAtFree)
{
    HMODULE module = LoadLibraryA(TEST_LIBRARY_PATH);
    ASSERT_NE(module, nullptr) << win32::LastLoaderMessage();
    ASSERT_EQ(dllMainCalls.size(), 1u);
    EXPECT_EQ(dllMainCalls[0], std::make_pair(static_cast<HINSTANCE>(module),
                                              static_cast<DWORD>(DLL_PROCESS_ATTACH)));
    FARPROC answer = GetProcAddress(module, "TestLibraryAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    EXPECT_TRUE(FreeLibrary(module));
    ASSERT_EQ(dllMainCalls.size(), 2u);
    EXPECT_EQ(dllMainCalls[1].second, static_cast<DWORD>(DLL_PROCESS_DETACH));
    EXPECT_FALSE(resident(TEST_LIBRARY_PATH));
}

TEST_F(LibraryLoader, ALibraryLoadedTwiceIsAttachedOnceAndDetachedAtTheLastFree)
{
    HMODULE first = LoadLibraryA(TEST_LIBRARY_PATH);
    HMODULE second = LoadLibraryA(TEST_LIBRARY_PATH);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(dllMainCalls.size(), 1u);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(dllMainCalls.size(), 1u);
    EXPECT_TRUE(resident(TEST_LIBRARY_PATH));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(dllMainCalls.size(), 2u);

    // Loaded anew, the library registers its entry again.
    HMODULE again = LoadLibraryA(TEST_LIBRARY_PATH);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(dllMainCalls.size(), 3u);
    FreeLibrary(again);
}

TEST_F(LibraryLoader, ARefusedAttachFailsTheLoad)
{
    attachAnswer = FALSE;
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(TEST_LIBRARY_PATH), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_DLL_INIT_FAILED);
    ASSERT_EQ(dllMainCalls.size(), 2u);
    EXPECT_EQ(dllMainCalls[1].second, static_cast<DWORD>(DLL_PROCESS_DETACH));
    EXPECT_FALSE(resident(TEST_LIBRARY_PATH));
    EXPECT_FALSE(win32::LastLoaderMessage().empty());
}

TEST_F(LibraryLoader, TheGlueExportsNoName)
{
    HMODULE module = LoadLibraryA(TEST_LIBRARY_PATH);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    FreeLibrary(module);
}

TEST_F(LibraryLoader, ALibraryWithoutDllMainLoadsAsItIs)
{
    HMODULE module = LoadLibraryA(PLAIN_LIBRARY_PATH);
    ASSERT_NE(module, nullptr) << win32::LastLoaderMessage();
    FARPROC answer = GetProcAddress(module, "PlainLibraryAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 7);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(dllMainCalls.empty());
}

TEST_F(LibraryLoader, UnknownFilesNamesAndModulesAreToldApart)
{
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("/nonexistent/Gaugelet.so"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_NE(win32::LastLoaderMessage().find("/nonexistent/Gaugelet.so"), std::string::npos)
        << win32::LastLoaderMessage();

    HMODULE module = LoadLibraryA(PLAIN_LIBRARY_PATH);
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(win32::LastLoaderMessage().empty());
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(module));

    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(module)) << "freed more often than loaded";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetProcAddress(module, "PlainLibraryAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
