// SPDX-License-Identifier: MIT
// unicorn_library.h
//
// The Unicorn engine's routines, reached through the engine's library loaded
// the first time an emulated image needs a processor. The platform library
// does not name the engine as a needed library: the engine is some 19 MiB
// built to bind all of its 37,000 symbol references at load, and linked that
// way it cost every program of the host build (zephrctl sysinfo, the
// plug-in's host, every test) some 21 million instructions of the dynamic
// loader before main, though only a driver image run under emulation uses it.
#pragma once

#include <unicorn/unicorn.h>

namespace emulated {

// The engine's routines the loader calls, typed as the engine's header
// declares them.
struct UnicornRoutines {
    decltype(&::uc_open) open;
    decltype(&::uc_close) close;
    decltype(&::uc_strerror) strerror;
    decltype(&::uc_hook_add) hookAdd;
    decltype(&::uc_hook_del) hookDel;
    decltype(&::uc_mem_map) memMap;
    decltype(&::uc_mem_map_ptr) memMapPtr;
    decltype(&::uc_mem_unmap) memUnmap;
    decltype(&::uc_mem_protect) memProtect;
    decltype(&::uc_mem_read) memRead;
    decltype(&::uc_mem_write) memWrite;
    decltype(&::uc_reg_read) regRead;
    decltype(&::uc_reg_write) regWrite;
    decltype(&::uc_emu_start) emuStart;
    decltype(&::uc_emu_stop) emuStop;
    decltype(&::uc_ctl) ctl;
};

// Loads the engine's library on the first call (it then stays loaded for the
// process) and gives its routines. Throws std::runtime_error naming the
// library and what the dynamic loader said when it cannot be loaded or lacks
// a routine.
const UnicornRoutines& unicorn();

} // namespace emulated
