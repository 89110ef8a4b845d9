# The public key that every update download must be signed with, built into the program:
# the file that CLIPVOCE_UPDATE_PUBLIC_KEY names (an ECDSA P-256 public key as openssl
# writes it with "ec -pubout", PEM or DER) becomes generated/update_public_key.h at
# configure time. The program never reads a key from disk.
#
# The default is the repository's test key, whose private half is public: a release build
# names the project's real public key, on the command line or through the environment
# variable of the same name (README.md, "Signed updates").
set(CLIPVOCE_TEST_UPDATE_KEY ${CMAKE_SOURCE_DIR}/tests/update_server/TEST_ONLY_update_key.pub.pem)
set(CLIPVOCE_UPDATE_PUBLIC_KEY ${CLIPVOCE_TEST_UPDATE_KEY} CACHE FILEPATH
  "ECDSA P-256 public key (PEM or DER) that update downloads must be signed with")
# The environment variable wins at every configure, so that a release script that passes
# no option of its own still builds with the real key.
if(NOT "$ENV{CLIPVOCE_UPDATE_PUBLIC_KEY}" STREQUAL "")
  set(CLIPVOCE_UPDATE_PUBLIC_KEY "$ENV{CLIPVOCE_UPDATE_PUBLIC_KEY}" CACHE FILEPATH
    "ECDSA P-256 public key (PEM or DER) that update downloads must be signed with" FORCE)
endif()

# Base64 text (no line breaks) as lower-case hex digits, two per byte.
function(clipvoce_base64_to_hex text out)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  set(digits "0123456789abcdef")
  string(REGEX REPLACE "=+$" "" text "${text}")
  string(LENGTH "${text}" length)
  set(hex "")
  set(bits 0)
  set(count 0)
  if(length GREATER 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
      string(SUBSTRING "${text}" ${i} 1 c)
      string(FIND "${alphabet}" "${c}" value)
      if(value LESS 0)
        set(${out} "" PARENT_SCOPE)
        return()
      endif()
      math(EXPR bits "((${bits} << 6) | ${value}) & 4095")
      math(EXPR count "${count} + 6")
      if(count GREATER_EQUAL 8)
        math(EXPR count "${count} - 8")
        math(EXPR high "(${bits} >> (${count} + 4)) & 15")
        math(EXPR low "(${bits} >> ${count}) & 15")
        string(SUBSTRING "${digits}" ${high} 1 h)
        string(SUBSTRING "${digits}" ${low} 1 l)
        string(APPEND hex "${h}${l}")
      endif()
    endforeach()
  endif()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${CLIPVOCE_UPDATE_PUBLIC_KEY}")
  message(FATAL_ERROR "CLIPVOCE_UPDATE_PUBLIC_KEY: no such file: ${CLIPVOCE_UPDATE_PUBLIC_KEY}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CLIPVOCE_UPDATE_PUBLIC_KEY}")
file(READ "${CLIPVOCE_UPDATE_PUBLIC_KEY}" key_hex HEX)
# "-----BEGIN PUBLIC KEY-----" starts a PEM file; anything else is taken for DER.
if(key_hex MATCHES "^2d2d2d2d2d424547494e205055424c4943204b45592d2d2d2d2d")
  file(READ "${CLIPVOCE_UPDATE_PUBLIC_KEY}" key_pem)
  string(REGEX MATCH "-----BEGIN PUBLIC KEY-----([A-Za-z0-9+/=\r\n\t ]*)-----END PUBLIC KEY-----" matched "${key_pem}")
  string(REGEX REPLACE "[\r\n\t ]" "" key_base64 "${CMAKE_MATCH_1}")
  clipvoce_base64_to_hex("${key_base64}" key_hex)
endif()
# A P-256 key's SubjectPublicKeyInfo is always the same 26 bytes (id-ecPublicKey,
# prime256v1, a 66-byte bit string) and then the uncompressed point 04 || X || Y.
set(p256_prefix "3059301306072a8648ce3d020106082a8648ce3d030107034200")
string(LENGTH "${key_hex}" key_hex_length)
if(NOT key_hex MATCHES "^${p256_prefix}04" OR NOT key_hex_length EQUAL 182)
  message(FATAL_ERROR "CLIPVOCE_UPDATE_PUBLIC_KEY (${CLIPVOCE_UPDATE_PUBLIC_KEY}) is no uncompressed ECDSA P-256 "
                      "public key; make one with: openssl ec -in KEY.pem -pubout -out KEY.pub.pem")
endif()
string(SUBSTRING "${key_hex}" 54 128 key_point)
set(key_bytes "")
foreach(line 0 32 64 96)
  string(SUBSTRING "${key_point}" ${line} 32 row)
  string(REGEX REPLACE "(..)" " 0x\\1," row "${row}")
  string(APPEND key_bytes "   ${row}\n")
endforeach()

if(CLIPVOCE_UPDATE_PUBLIC_KEY STREQUAL CLIPVOCE_TEST_UPDATE_KEY)
  # Its private half is in the repository: a program built with it accepts updates that
  # anyone can sign. Builds without tests are the ones that become downloads.
  if(DEFINED BUILD_TESTING AND NOT BUILD_TESTING)
    message(WARNING "CLIPVOCE_UPDATE_PUBLIC_KEY is the TEST key: this build is no release (README.md, \"Signed updates\")")
  else()
    message(STATUS "Update public key: the TEST key (tests/update_server)")
  endif()
else()
  message(STATUS "Update public key: ${CLIPVOCE_UPDATE_PUBLIC_KEY}")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/update_public_key.h CONTENT
"// Made by cmake/ClipvoceUpdateKey.cmake from CLIPVOCE_UPDATE_PUBLIC_KEY; do not edit.
#pragma once

// The ECDSA P-256 public key of the project's update signatures: X, then Y, big-endian.
constexpr unsigned char UpdatePublicKey[64] = {
@key_bytes@};
" @ONLY)
