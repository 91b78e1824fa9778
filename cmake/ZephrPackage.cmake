# SPDX-License-Identifier: MIT
# The release zip of the Windows builds, made by CPack in the 32-bit build,
# one folder zephr-<version>-windows holding
#   x86/  zephr.sys, Gaugelet.dll, zephrctl.exe, gaugehost.exe,
#         zephr-agent.exe (this build)
#   x64/  zephr.sys (test-signed), zephrctl.exe, gaugehost.exe,
#         zephr-agent.exe, taken from
#         the x64 build's bin/ folder (ZEPHR_WINDOWS_X64_BIN), which must be
#         built first (scripts/build and scripts/package do)
#   README.txt (Windows line ends) and LICENSE.txt
# The plug-in is in x86/ only: its host application is 32-bit on every
# Windows. The test-hardware drivers and the x64 build's test-signing key are
# never in it. The 32-bit build makes the zip as part of its default target
# (package/zephr-<version>-windows.zip); scripts/package builds it alone.
# The version is the driver's, as its version record answers it.
file(STRINGS ${CMAKE_SOURCE_DIR}/common/zephr_ioctl.h ZEPHR_VERSION_LINES
     REGEX "^#define ZEPHR_VERSION_(MAJOR|MINOR) ")
set(ZEPHR_PACKAGE_VERSION "")
foreach(part MAJOR MINOR)
  string(REGEX MATCH "ZEPHR_VERSION_${part} ([0-9]+)u" matched "${ZEPHR_VERSION_LINES}")
  if(NOT matched)
    message(FATAL_ERROR "common/zephr_ioctl.h: no ZEPHR_VERSION_${part} number")
  endif()
  list(APPEND ZEPHR_PACKAGE_VERSION ${CMAKE_MATCH_1})
endforeach()
list(JOIN ZEPHR_PACKAGE_VERSION "." ZEPHR_PACKAGE_VERSION)
set(ZEPHR_PACKAGE_NAME zephr-${ZEPHR_PACKAGE_VERSION}-windows)
set(ZEPHR_WINDOWS_X64_BIN ${CMAKE_BINARY_DIR}-x64/bin CACHE PATH
    "The x64 Windows build's bin folder, whose driver and tools go into the zip's x64/")
set(ZEPHR_PACKAGE_X64_FILES ${ZEPHR_WINDOWS_X64_BIN}/zephr.sys ${ZEPHR_WINDOWS_X64_BIN}/zephrctl.exe
                            ${ZEPHR_WINDOWS_X64_BIN}/gaugehost.exe
                            ${ZEPHR_WINDOWS_X64_BIN}/zephr-agent.exe)
set(ZEPHR_PACKAGE_STAGING ${CMAKE_BINARY_DIR}/package-files)

configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
               ${ZEPHR_PACKAGE_STAGING}/README.txt @ONLY NEWLINE_STYLE CRLF)
set(ZEPHR_PACKAGE_TEXTS ${ZEPHR_PACKAGE_STAGING}/README.txt)

# The licence, with Windows line ends, as LICENSE.txt.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE ZEPHR_LICENSE_TEXT)
string(REPLACE "\r\n" "\n" ZEPHR_LICENSE_TEXT "${ZEPHR_LICENSE_TEXT}")
string(REPLACE "\n" "\r\n" ZEPHR_LICENSE_TEXT "${ZEPHR_LICENSE_TEXT}")
file(WRITE ${ZEPHR_PACKAGE_STAGING}/LICENSE.txt "${ZEPHR_LICENSE_TEXT}")
list(APPEND ZEPHR_PACKAGE_TEXTS ${ZEPHR_PACKAGE_STAGING}/LICENSE.txt)

install(FILES $<TARGET_FILE:zephr> $<TARGET_FILE:Gaugelet> $<TARGET_FILE:zephrctl>
              $<TARGET_FILE:gaugehost> $<TARGET_FILE:zephr-agent>
        DESTINATION x86)
install(FILES ${ZEPHR_PACKAGE_X64_FILES} DESTINATION x64)
install(FILES ${ZEPHR_PACKAGE_TEXTS} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zephr)
set(CPACK_PACKAGE_VENDOR "zephr")
set(CPACK_PACKAGE_VERSION ${ZEPHR_PACKAGE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "zephr notebook cooling driver and the Gaugelet plug-in")
set(CPACK_PACKAGE_FILE_NAME ${ZEPHR_PACKAGE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
include(CPack)

set(ZEPHR_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/package/${ZEPHR_PACKAGE_NAME}.zip)
add_custom_command(
  OUTPUT ${ZEPHR_PACKAGE_ZIP}
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  DEPENDS zephr Gaugelet zephrctl gaugehost zephr-agent ${ZEPHR_PACKAGE_X64_FILES} ${ZEPHR_PACKAGE_TEXTS}
          ${CMAKE_SOURCE_DIR}/cmake/ZephrPackage.cmake ${CMAKE_BINARY_DIR}/CPackConfig.cmake
          ${CMAKE_BINARY_DIR}/cmake_install.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing ${ZEPHR_PACKAGE_NAME}.zip"
  VERBATIM)
add_custom_target(release_zip ALL DEPENDS ${ZEPHR_PACKAGE_ZIP})
