# SPDX-License-Identifier: MIT
# Header-only libraries of the build machine (nlohmann/json, Boost's Asio
# and Beast) in the Windows builds. Their headers are standard C++ (and
# Win32 where they ask for it), but they live in /usr/include, which the
# mingw-w64 compilers must not search: it holds the host's C library and
# system headers. So each such library gets a folder of its own in the
# build folder, made at configure time, holding one entry: a link named as
# the library's folder (nlohmann, boost) to the host's copy; a target reads
# exactly those headers through it.
#
#   zephr_use_host_headers(TARGET NAME...)
function(zephr_use_host_headers target)
  foreach(name IN LISTS ARGN)
    set(folder ${CMAKE_BINARY_DIR}/host-headers/${name})
    if(NOT EXISTS ${folder}/${name})
      if(NOT IS_DIRECTORY /usr/include/${name})
        message(FATAL_ERROR "/usr/include/${name} is missing (scripts/install-deps installs it)")
      endif()
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK /usr/include/${name} ${folder}/${name} SYMBOLIC)
    endif()
    target_include_directories(${target} SYSTEM PRIVATE ${folder})
  endforeach()
endfunction()
