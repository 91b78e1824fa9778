# SPDX-License-Identifier: MIT
# Toolchain for the Windows build: mingw-w64 cross compilers for 32-bit x86
# Windows (the rest is cmake/mingw-common.cmake).
#   cmake --preset build-windows
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEPHR_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
