# The rules for kernel-mode driver images in the Windows build, and the
# zephr.sys image itself. driver/CMakeLists.txt includes this file in the
# Windows build only.
#
# zephr_add_windows_driver(NAME SOURCES...) builds bin/NAME.sys from the
# sources: a PE32 image for the native subsystem whose entry is DriverEntry,
# linked with nothing but the kernel's and the HAL's import libraries and
# libgcc (for the 64-bit arithmetic helpers, which import nothing). So the
# image imports only from ntoskrnl.exe and HAL.dll; a call to anything else
# fails at link time instead of at load time.

find_path(ZEPHR_DDK_INCLUDE_DIR NAMES ntddk.h wdm.h PATH_SUFFIXES include/ddk ddk
          DOC "The mingw-w64 DDK headers (ntddk.h)")
if(NOT ZEPHR_DDK_INCLUDE_DIR)
  message(FATAL_ERROR "mingw-w64 DDK headers not found (ddk/ntddk.h under the mingw-w64 "
                      "include directory); install the mingw-w64 headers or set "
                      "ZEPHR_DDK_INCLUDE_DIR")
endif()

# Kernel code: integer registers only (the kernel does not save FPU or SSE
# state for a driver), no stack frame near the 12 KiB kernel stack. The
# mingw-w64 DDK headers compile only for Vista (0x0600) or later; that
# chooses declarations, not the kernel the image runs on: the routines the
# driver imports are all older than Windows 2000.
set(ZEPHR_WINDOWS_DRIVER_DEFINITIONS _X86_=1 _WIN32_WINNT=0x0600 WINVER=0x0600
                                     NTDDI_VERSION=0x06000000)
set(ZEPHR_WINDOWS_DRIVER_COMPILE_OPTIONS ${ZEPHR_DRIVER_CXX_FLAGS} -mgeneral-regs-only
                                         -Wframe-larger-than=2048)

set(ZEPHR_WINDOWS_DRIVER_LINK_OPTIONS
    -nostdlib
    -nostartfiles
    -Wl,--subsystem,native
    -Wl,--entry,_DriverEntry@8
    # Data imported without dllimport would need the C runtime's pseudo
    # relocation pass, which no driver has: refuse it at link time.
    -Wl,--disable-auto-import
    -Wl,--disable-runtime-pseudo-reloc
    -Wl,--image-base,0x10000
    -Wl,--file-alignment,0x200
    -Wl,--section-alignment,0x1000
    # The kernel always relocates drivers: keep the relocations.
    -Wl,--dynamicbase
    -Wl,--nxcompat)

function(zephr_add_windows_driver name)
  # Linked as an image of its own, not as a DLL: like the images the DDK's
  # linker makes, it has no DLL flag and no export table.
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES
    SUFFIX ".sys"
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    ENABLE_EXPORTS OFF
    LINKER_LANGUAGE CXX)
  # platform/windows-ddk/include comes first: its ntddk.h includes <intrin.h>
  # and then the DDK's ntddk.h.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}
                                              ${CMAKE_SOURCE_DIR}/platform/windows-ddk/include)
  target_include_directories(${name} SYSTEM PRIVATE ${ZEPHR_DDK_INCLUDE_DIR})
  target_compile_definitions(${name} PRIVATE ${ZEPHR_WINDOWS_DRIVER_DEFINITIONS})
  target_compile_options(${name} PRIVATE
                         $<$<COMPILE_LANGUAGE:CXX>:${ZEPHR_WINDOWS_DRIVER_COMPILE_OPTIONS}>)
  target_link_options(${name} PRIVATE ${ZEPHR_WINDOWS_DRIVER_LINK_OPTIONS}
                      -Wl,-Map,${CMAKE_BINARY_DIR}/bin/${name}.map)
  target_link_libraries(${name} PRIVATE ntoskrnl hal gcc)
  # The Win32 libraries CMake links into every program (kernel32, user32,
  # ...) have no place in a driver; they are dropped for the directory that
  # defines driver images.
  set(CMAKE_C_STANDARD_LIBRARIES "" PARENT_SCOPE)
  set(CMAKE_CXX_STANDARD_LIBRARIES "" PARENT_SCOPE)
endfunction()

if(ZEPHR_DRIVER_SOURCES)
  zephr_add_windows_driver(zephr ${ZEPHR_DRIVER_SOURCES}
                           ${CMAKE_CURRENT_SOURCE_DIR}/primitives/hw_primitives_x86.cpp)
endif()
