# SPDX-License-Identifier: MIT
# Header-only libraries of the build machine (nlohmann/json, Boost's Asio
# and Beast) in the Windows builds. Their headers are standard C++ (and
# Win32 where they ask for it), but they live in /usr/include, which the
# mingw-w64 compilers must not search: it holds the host's C library and
# system headers. So each such library is copied, at configure time and
# once, into a folder of its own in the build folder (nothing there links
# back into /usr/include); a target reads exactly those headers. Boost's
# headers are some 160 MB and take a few seconds to copy.
#
#   zephr_use_host_headers(TARGET NAME...)
function(zephr_use_host_headers target)
  foreach(name IN LISTS ARGN)
    set(folder ${CMAKE_BINARY_DIR}/host-headers/${name})
    if(IS_SYMLINK ${folder}/${name})
      file(REMOVE ${folder}/${name}) # a folder configured when this was a link
    endif()
    if(NOT EXISTS ${folder}/${name})
      if(NOT IS_DIRECTORY /usr/include/${name})
        message(FATAL_ERROR "/usr/include/${name} is missing (scripts/install-deps installs it)")
      endif()
      file(COPY /usr/include/${name} DESTINATION ${folder})
    endif()
    target_include_directories(${target} SYSTEM PRIVATE ${folder})
  endforeach()
endfunction()
