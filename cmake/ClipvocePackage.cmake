# The download zip: clipvoce.exe, its README.txt and the licence texts of the
# runtime and the libraries linked into it. Only what is installed here goes into the zip, so
# test programs, the stand-in voice and the encoder library never do.
# CLIPVOCE_ARCHITECTURE comes from the top-level CMakeLists.txt.

# Where Debian's MinGW-w64 packages keep the licence texts of the runtime that
# -static links in: the CRT and winpthreads, and libgcc and libstdc++.
set(CLIPVOCE_MINGW_RUNTIME_LICENCE "/usr/share/doc/mingw-w64-common/copyright"
  CACHE FILEPATH "Licence text of the MinGW-w64 CRT and winpthreads")
set(CLIPVOCE_GCC_RUNTIME_LICENCE "/usr/share/doc/gcc-mingw-w64-base/copyright"
  CACHE FILEPATH "Licence text of the GCC runtime libraries")

configure_file(${CMAKE_SOURCE_DIR}/package/README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt @ONLY NEWLINE_STYLE CRLF)

install(TARGETS clipvoce RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)
install(FILES ${CLIPVOCE_MINGW_RUNTIME_LICENCE} DESTINATION licences RENAME mingw-w64-runtime.txt)
install(FILES ${CLIPVOCE_GCC_RUNTIME_LICENCE} DESTINATION licences RENAME gcc-runtime-libraries.txt)
install(FILES ${CLIPVOCE_CLD2_LICENCE} DESTINATION licences RENAME cld2.txt)
foreach(library pcre2 sonic leptonica tesseract)
  string(TOUPPER ${library} prefix)
  if(CLIPVOCE_${prefix}_LICENCE)
    install(FILES ${CLIPVOCE_${prefix}_LICENCE} DESTINATION licences RENAME ${library}.txt)
  else()
    message(WARNING "The licence text of ${library} was not found under ${CLIPVOCE_${prefix}_ROOT}; the zip will lack it")
  endif()
endforeach()

# The English recognition model; other languages' models are dropped in beside it.
install(FILES ${CLIPVOCE_TESSDATA}/eng.traineddata DESTINATION tessdata)
install(FILES ${CLIPVOCE_TESSDATA_LICENCE} DESTINATION licences RENAME tesseract-data.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME clipvoce)
set(CPACK_PACKAGE_VENDOR Clipvoce)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reads copied text aloud")
set(CPACK_PACKAGE_FILE_NAME clipvoce-${PROJECT_VERSION}-${CLIPVOCE_ARCHITECTURE})
# Unpacked, the zip is one folder named like itself.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)
include(CPack)
