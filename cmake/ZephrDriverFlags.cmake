# SPDX-License-Identifier: MIT
# Compile options for driver code in both builds: freestanding C++ with no
# exceptions, no RTTI and no thread-safe statics (the kernel has no C++
# runtime); in the Windows build also no stack protector and no unwind tables.
set(ZEPHR_DRIVER_CXX_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics)
if(ZEPHR_WINDOWS)
  list(APPEND ZEPHR_DRIVER_CXX_FLAGS -ffreestanding -fno-stack-protector
       -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-builtin)
endif()
