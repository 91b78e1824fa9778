# SPDX-License-Identifier: MIT
# Toolchain for the x64 Windows build: mingw-w64 cross compilers for 64-bit
# x86 Windows (the rest is cmake/mingw-common.cmake).
#   cmake --preset build-windows-x64
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEPHR_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
