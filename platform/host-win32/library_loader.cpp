// SPDX-License-Identifier: MIT
// library_loader.cpp
//
// LoadLibraryA, GetProcAddress and FreeLibrary over the dynamic loader, with
// the library's DllMain called on process attach and detach as the Windows
// loader calls it: serially, under one loader lock, once per process for
// each library however often it is loaded.
#include "platform/host-win32/win32_host.h"

#include <dlfcn.h>
#include <link.h>

#include <map>
#include <mutex>

namespace {

struct ModuleRecord {
    win32::DllEntryRoutine entry = nullptr;
    unsigned loads = 0;
};

struct Loader {
    std::recursive_mutex lock; // the loader lock
    // DllMain of each library, by the library's link map; registered by the
    // library's entry glue while the dynamic loader runs its constructors.
    std::map<const link_map*, win32::DllEntryRoutine> entries;
    std::map<void*, ModuleRecord> modules; // by dlopen handle
};

// Never destroyed, like the Windows loader's own tables: a library still
// loaded at exit keeps its record.
Loader& loader()
{
    union Holder {
        Loader value;
        Holder() : value() {}
        ~Holder() {}
    };
    static Holder holder;
    return holder.value;
}

thread_local std::string loaderMessage;

const link_map* linkMapOf(void* handle)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0)
        return nullptr;
    return map;
}

// Drops the DllMain of a library that dlclose really took out of the
// process; one another user keeps loaded keeps its entry.
void forgetEntryIfGone(Loader& l, const link_map* map, const std::string& name)
{
    void* still = name.empty() ? nullptr : dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (still != nullptr)
        dlclose(still);
    else
        l.entries.erase(map);
}

} // namespace

namespace win32 {

extern "C" void Win32RegisterDllEntry(DllEntryRoutine entry)
{
    Dl_info info{};
    link_map* map = nullptr;
    if (entry == nullptr ||
        dladdr1(reinterpret_cast<void*>(entry), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0 ||
        map == nullptr)
        return;
    Loader& l = loader();
    std::lock_guard guard(l.lock);
    l.entries[map] = entry;
}

std::string LastLoaderMessage()
{
    return loaderMessage;
}

} // namespace win32

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (lpLibFileName == nullptr) {
        loaderMessage = "LoadLibraryA was given no file name";
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Loader& l = loader();
    std::lock_guard guard(l.lock);
    void* handle = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        loaderMessage = why ? why : std::string("cannot load ") + lpLibFileName;
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto module = reinterpret_cast<HMODULE>(handle);
    ModuleRecord& record = l.modules[handle];
    if (record.loads++ == 0) {
        const link_map* map = linkMapOf(handle);
        auto found = l.entries.find(map);
        record.entry = found == l.entries.end() ? nullptr : found->second;
        if (record.entry != nullptr && !record.entry(module, DLL_PROCESS_ATTACH, nullptr)) {
            // As Windows does, the library hears of its detach before it goes.
            record.entry(module, DLL_PROCESS_DETACH, nullptr);
            std::string name = map && map->l_name ? map->l_name : "";
            l.modules.erase(handle);
            dlclose(handle);
            forgetEntryIfGone(l, map, name);
            loaderMessage =
                std::string("DllMain of ") + lpLibFileName + " refused the process attach";
            SetLastError(ERROR_DLL_INIT_FAILED);
            return nullptr;
        }
    }
    loaderMessage.clear();
    return module;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    Loader& l = loader();
    void* handle = reinterpret_cast<void*>(hModule);
    {
        std::lock_guard guard(l.lock);
        if (l.modules.count(handle) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    // Names only: a value below 64 Ki is an ordinal, which no host library has.
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* address = dlsym(handle, lpProcName);
    if (address == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    Loader& l = loader();
    void* handle = reinterpret_cast<void*>(hLibModule);
    std::lock_guard guard(l.lock);
    auto found = l.modules.find(handle);
    if (found == l.modules.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--found->second.loads > 0) {
        dlclose(handle);
        return TRUE;
    }
    win32::DllEntryRoutine entry = found->second.entry;
    l.modules.erase(found);
    const link_map* map = linkMapOf(handle);
    std::string name = map && map->l_name ? map->l_name : "";
    if (entry != nullptr)
        entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    dlclose(handle);
    forgetEntryIfGone(l, map, name);
    return TRUE;
}
