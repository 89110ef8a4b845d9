# PCRE2's 16-bit library (UTF-16 code units, with its JIT compiler), linked into the
# program statically for the pronunciation dictionary's regular expressions.
# CLIPVOCE_PCRE2_ROOT holds include/pcre2.h, lib/libpcre2-16.a and the licence text. On
# Debian the configure step builds it there from Debian's source package
# (libs/pcre2/build.sh); on Windows point it at an installation (README.md).
set(CLIPVOCE_PCRE2_ROOT "${CMAKE_BINARY_DIR}/pcre2" CACHE PATH "Where PCRE2's 16-bit static library is installed")
if(CMAKE_HOST_UNIX AND NOT EXISTS "${CLIPVOCE_PCRE2_ROOT}/lib/libpcre2-16.a")
  message(STATUS "Building PCRE2 (16-bit) for ${CLIPVOCE_ARCHITECTURE} in ${CLIPVOCE_PCRE2_ROOT}")
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/libs/pcre2/build.sh ${CLIPVOCE_PCRE2_ROOT} ${CLIPVOCE_ARCHITECTURE}
                  RESULT_VARIABLE pcre2_built)
  if(NOT pcre2_built EQUAL 0)
    message(FATAL_ERROR "Building PCRE2 from Debian's source package failed (see above)")
  endif()
endif()
# The folder first, outside the cross-compiling root; then where the compiler looks.
find_path(CLIPVOCE_PCRE2_INCLUDE pcre2.h PATHS ${CLIPVOCE_PCRE2_ROOT}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_library(CLIPVOCE_PCRE2_LIBRARY NAMES libpcre2-16.a PATHS ${CLIPVOCE_PCRE2_ROOT}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(CLIPVOCE_PCRE2_INCLUDE pcre2.h)
find_library(CLIPVOCE_PCRE2_LIBRARY NAMES libpcre2-16.a)
if(NOT CLIPVOCE_PCRE2_INCLUDE OR NOT CLIPVOCE_PCRE2_LIBRARY)
  message(FATAL_ERROR "PCRE2's 16-bit static library was not found: set CLIPVOCE_PCRE2_ROOT to a folder with "
                      "include/pcre2.h and lib/libpcre2-16.a (README.md, \"Building on Windows\")")
endif()
add_library(clipvoce_pcre2 STATIC IMPORTED)
set_target_properties(clipvoce_pcre2 PROPERTIES IMPORTED_LOCATION ${CLIPVOCE_PCRE2_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${CLIPVOCE_PCRE2_INCLUDE})

# Its licence travels in the download zip beside the others.
find_file(CLIPVOCE_PCRE2_LICENCE NAMES LICENCE LICENCE.md LICENSE
          PATHS ${CLIPVOCE_PCRE2_ROOT} ${CLIPVOCE_PCRE2_ROOT}/share/licenses/pcre2 ${CLIPVOCE_PCRE2_ROOT}/share/doc/pcre2
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
