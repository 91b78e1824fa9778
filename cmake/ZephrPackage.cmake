# SPDX-License-Identifier: MIT
# The release zip of the Windows build, made by CPack: zephr.sys,
# Gaugelet.dll, zephrctl.exe, gaugehost.exe, a short readme with Windows
# line ends, and the licence, in one folder zephr-<version>-win32. The
# test-hardware driver is never in it. The Windows build makes the zip as
# part of its default target (package/zephr-<version>-win32.zip);
# scripts/package builds it alone.
set(ZEPHR_PACKAGE_VERSION 1.5) # the driver's version
set(ZEPHR_PACKAGE_NAME zephr-${ZEPHR_PACKAGE_VERSION}-win32)
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
              $<TARGET_FILE:gaugehost> ${ZEPHR_PACKAGE_TEXTS}
        DESTINATION .)

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
  DEPENDS zephr Gaugelet zephrctl gaugehost ${ZEPHR_PACKAGE_TEXTS}
          ${CMAKE_SOURCE_DIR}/cmake/ZephrPackage.cmake ${CMAKE_BINARY_DIR}/CPackConfig.cmake
          ${CMAKE_BINARY_DIR}/cmake_install.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing ${ZEPHR_PACKAGE_NAME}.zip"
  VERBATIM)
add_custom_target(release_zip ALL DEPENDS ${ZEPHR_PACKAGE_ZIP})
