# SPDX-License-Identifier: MIT
# What the two mingw-w64 toolchain files share; each sets
# ZEPHR_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR, then includes this.
# Programs and libraries are searched only in the mingw-w64 root; host tools
# (cmake, ninja, objdump on the build machine) stay the host's.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZEPHR_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZEPHR_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${ZEPHR_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${ZEPHR_MINGW_TRIPLET}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${ZEPHR_MINGW_TRIPLET}-ranlib CACHE FILEPATH "Archive indexer")
set(CMAKE_OBJDUMP ${ZEPHR_MINGW_TRIPLET}-objdump CACHE FILEPATH "PE inspector")

set(CMAKE_FIND_ROOT_PATH /usr/${ZEPHR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
