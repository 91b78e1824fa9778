// SPDX-License-Identifier: MIT
// unicorn_library.cpp
//
// Loads the Unicorn engine's library on demand (dlopen) and binds the
// routines the loader calls.
#include "platform/emulated-image/unicorn_library.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace emulated {

namespace {

// The engine's library as the build found it (a full path).
constexpr const char* kLibrary = ZEPHR_UNICORN_LIBRARY_FILE;

template <typename Routine> void bind(void* library, Routine& routine, const char* name)
{
    routine = reinterpret_cast<Routine>(dlsym(library, name));
    if (routine == nullptr)
        throw std::runtime_error(std::string("CPU emulator: ") + kLibrary + " has no routine " +
                                 name);
}

UnicornRoutines load()
{
    // Local: the engine's symbols stay out of the process's global scope.
    void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        throw std::runtime_error(std::string("CPU emulator: cannot load ") + kLibrary + ": " +
                                 dlerror());
    UnicornRoutines routines;
    bind(library, routines.open, "uc_open");
    bind(library, routines.close, "uc_close");
    bind(library, routines.strerror, "uc_strerror");
    bind(library, routines.hookAdd, "uc_hook_add");
    bind(library, routines.hookDel, "uc_hook_del");
    bind(library, routines.memMap, "uc_mem_map");
    bind(library, routines.memMapPtr, "uc_mem_map_ptr");
    bind(library, routines.memUnmap, "uc_mem_unmap");
    bind(library, routines.memProtect, "uc_mem_protect");
    bind(library, routines.memRead, "uc_mem_read");
    bind(library, routines.memWrite, "uc_mem_write");
    bind(library, routines.regRead, "uc_reg_read");
    bind(library, routines.regWrite, "uc_reg_write");
    bind(library, routines.emuStart, "uc_emu_start");
    bind(library, routines.emuStop, "uc_emu_stop");
    bind(library, routines.ctl, "uc_ctl");
    return routines;
}

} // namespace

const UnicornRoutines& unicorn()
{
    // Loaded once, never unloaded: engines opened from it may live until exit.
    static const UnicornRoutines routines = load();
    return routines;
}

} // namespace emulated
