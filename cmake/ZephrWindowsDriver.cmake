# SPDX-License-Identifier: MIT
# The DDK as one interface target of each Windows build, zephr_ddk: the
# mingw-w64 DDK headers (behind platform/windows-ddk/include), the
# architecture and Windows version they are compiled for, and freestanding
# C++. Whatever compiles against ntddk.h links it: the driver images and the
# emulated-image loader's layout checks.
#
# zephr_add_windows_driver(NAME SOURCES...): the rule for kernel-mode driver
# images in the Windows build.
#
# The function builds bin/NAME.sys from the sources: a PE32 image (PE32+ in the x64 build) for the
# native subsystem whose entry is DriverEntry, linked with nothing but the
# kernel's and the HAL's import libraries and libgcc (for the 64-bit
# arithmetic helpers, which import nothing). So the image imports only from
# ntoskrnl.exe and HAL.dll; a call to anything else fails at link time
# instead of at load time.
#
# The Win32 libraries CMake links into every program of a directory
# (CMAKE_<LANG>_STANDARD_LIBRARIES: kernel32, user32, ...) have no place in a
# driver, and CMake has no per-target switch for them: the directory that
# makes driver images clears them, and the function refuses to make an image
# in a directory that has not.

find_path(ZEPHR_DDK_INCLUDE_DIR NAMES ntddk.h wdm.h PATH_SUFFIXES include/ddk ddk
          DOC "The mingw-w64 DDK headers (ntddk.h)")
if(NOT ZEPHR_DDK_INCLUDE_DIR)
  message(FATAL_ERROR "mingw-w64 DDK headers not found (ddk/ntddk.h under the mingw-w64 "
                      "include directory); install the mingw-w64 headers or set "
                      "ZEPHR_DDK_INCLUDE_DIR")
endif()

add_library(zephr_ddk INTERFACE)
# platform/windows-ddk/include comes first: its ntddk.h includes <intrin.h>
# and then the DDK's ntddk.h.
target_include_directories(zephr_ddk INTERFACE ${CMAKE_SOURCE_DIR}
                                               ${CMAKE_SOURCE_DIR}/platform/windows-ddk/include)
target_include_directories(zephr_ddk SYSTEM INTERFACE ${ZEPHR_DDK_INCLUDE_DIR})
# The mingw-w64 DDK headers compile only for Vista (0x0600) or later; that
# chooses declarations, not the kernel the image runs on: the routines the
# driver imports are all older than Windows 2000.
target_compile_definitions(zephr_ddk INTERFACE $<IF:$<BOOL:${ZEPHR_WINDOWS_X64}>,_AMD64_=1,_X86_=1>
                                               _WIN32_WINNT=0x0600 WINVER=0x0600
                                               NTDDI_VERSION=0x06000000)
target_compile_options(zephr_ddk INTERFACE $<$<COMPILE_LANGUAGE:CXX>:${ZEPHR_DRIVER_CXX_FLAGS}>)

function(zephr_add_windows_driver name)
  if(CMAKE_C_STANDARD_LIBRARIES OR CMAKE_CXX_STANDARD_LIBRARIES)
    message(FATAL_ERROR "zephr_add_windows_driver(${name}): this directory still links the "
                        "Win32 standard libraries into its images; set "
                        "CMAKE_C_STANDARD_LIBRARIES and CMAKE_CXX_STANDARD_LIBRARIES to \"\" "
                        "first")
  endif()

  # Linked as an image of its own, not as a DLL: like the images the DDK's
  # linker makes, it has no DLL flag and no export table.
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES
    SUFFIX ".sys"
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    ENABLE_EXPORTS OFF
    LINKER_LANGUAGE CXX)

  # Kernel code: integer registers only (the kernel does not save FPU or SSE
  # state for a driver), no stack frame near the 12 KiB kernel stack.
  target_compile_options(${name} PRIVATE
                         $<$<COMPILE_LANGUAGE:CXX>:-mgeneral-regs-only -Wframe-larger-than=2048>)

  target_link_options(${name} PRIVATE
    -nostdlib
    -nostartfiles
    -Wl,--subsystem,native
    # DriverEntry is NTAPI: stdcall with 8 bytes of arguments on x86
    # (decorated _DriverEntry@8); on x64 there is one calling convention
    # and no decoration.
    -Wl,--entry,$<IF:$<BOOL:${ZEPHR_WINDOWS_X64}>,DriverEntry,_DriverEntry@8>
    # Data imported without dllimport would need the C runtime's pseudo
    # relocation pass, which no driver has: refuse it at link time.
    -Wl,--disable-auto-import
    -Wl,--disable-runtime-pseudo-reloc
    -Wl,--image-base,0x10000
    -Wl,--file-alignment,0x200
    -Wl,--section-alignment,0x1000
    # The kernel always relocates drivers: keep the relocations.
    -Wl,--dynamicbase
    -Wl,--nxcompat
    # The symbol table keeps the global names (the map file lists them too);
    # the file-local ones (static routines, section and file entries) only
    # made the file larger.
    -Wl,--discard-all
    -Wl,-Map,${CMAKE_BINARY_DIR}/bin/${name}.map)
  target_link_libraries(${name} PRIVATE zephr_ddk ntoskrnl hal gcc)
endfunction()
