# SPDX-License-Identifier: MIT
# zephr_test_sign(TARGET): signs the target's image after each link with an
# Authenticode signature (osslsigncode) under a test certificate that the
# build makes for itself with openssl in <build>/test-signing/: a private key
# that never leaves the build folder (it is neither in the repository nor in
# the release zip) and a self-signed code-signing certificate. 64-bit
# Windows loads such a driver only in test mode (docs/release-package.md).
find_program(ZEPHR_OSSLSIGNCODE osslsigncode REQUIRED
             DOC "osslsigncode, which signs the x64 driver (Debian osslsigncode)")
find_program(ZEPHR_OPENSSL openssl REQUIRED DOC "openssl, which makes the test certificate")

set(ZEPHR_TEST_SIGNING_DIR ${CMAKE_BINARY_DIR}/test-signing)
set(ZEPHR_TEST_SIGNING_KEY ${ZEPHR_TEST_SIGNING_DIR}/zephr-test-signing.key)
set(ZEPHR_TEST_SIGNING_CERT ${ZEPHR_TEST_SIGNING_DIR}/zephr-test-signing.crt)
add_custom_command(
  OUTPUT ${ZEPHR_TEST_SIGNING_KEY} ${ZEPHR_TEST_SIGNING_CERT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZEPHR_TEST_SIGNING_DIR}
  COMMAND ${ZEPHR_OPENSSL} req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650
          -subj "/CN=zephr test signing (not trusted)" -addext "extendedKeyUsage=codeSigning"
          -keyout ${ZEPHR_TEST_SIGNING_KEY} -out ${ZEPHR_TEST_SIGNING_CERT}
  COMMENT "Making the test-signing certificate"
  VERBATIM)
add_custom_target(zephr_test_signing_certificate
                  DEPENDS ${ZEPHR_TEST_SIGNING_KEY} ${ZEPHR_TEST_SIGNING_CERT})

function(zephr_test_sign target)
  add_dependencies(${target} zephr_test_signing_certificate)
  set(image $<TARGET_FILE:${target}>)
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${ZEPHR_OSSLSIGNCODE} sign -certs ${ZEPHR_TEST_SIGNING_CERT}
            -key ${ZEPHR_TEST_SIGNING_KEY} -h sha256 -n "zephr" -in ${image} -out ${image}.signed
            > ${CMAKE_BINARY_DIR}/test-signing/${target}-sign.log
    COMMAND ${CMAKE_COMMAND} -E rename ${image}.signed ${image}
    COMMENT "Test-signing ${target}"
    VERBATIM)
endfunction()
