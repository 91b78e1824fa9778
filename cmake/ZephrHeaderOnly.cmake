# SPDX-License-Identifier: MIT
# The header-only libraries the Windows builds take from the build machine.
# nlohmann/json is standard C++ and header-only, but its headers live among
# the build machine's own in /usr/include, which a mingw-w64 compiler must
# never search: the Windows build copies them (and only them) into a folder
# of its own at configure time and offers them as zephr_nlohmann_json.
find_path(ZEPHR_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH REQUIRED DOC "nlohmann/json's headers (nlohmann-json3-dev)")
set(ZEPHR_HEADER_ONLY_FOLDER ${CMAKE_BINARY_DIR}/header-only)
file(COPY ${ZEPHR_NLOHMANN_INCLUDE}/nlohmann DESTINATION ${ZEPHR_HEADER_ONLY_FOLDER})
add_library(zephr_nlohmann_json INTERFACE)
target_include_directories(zephr_nlohmann_json SYSTEM INTERFACE ${ZEPHR_HEADER_ONLY_FOLDER})
