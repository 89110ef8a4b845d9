# Tesseract, the offline text recognition for copied images, on Leptonica, both linked
# statically, and the recognition data it loads at run time: the English model, which
# lands in bin/tessdata beside the program (where it and the tests look) and in the zips.
include(${CMAKE_CURRENT_LIST_DIR}/ClipvoceDebianLibrary.cmake)
clipvoce_static_library(LEPTONICA clipvoce_leptonica leptonica/allheaders.h libleptonica.a
  libs/leptonica/build.sh "Leptonica's static library")
clipvoce_static_library(TESSERACT clipvoce_tesseract tesseract/baseapi.h libtesseract.a
  libs/tesseract/build.sh "Tesseract's static library" ${CLIPVOCE_LEPTONICA_ROOT})
# Tesseract before Leptonica, which it calls.
set_property(TARGET clipvoce_tesseract APPEND PROPERTY INTERFACE_LINK_LIBRARIES clipvoce_leptonica)

# The English model of Tesseract's fast models, from Debian's tesseract-ocr-eng.
set(CLIPVOCE_TESSDATA_DOWNLOAD "${CMAKE_BINARY_DIR}/tessdata-download")
set(CLIPVOCE_TESSDATA "${CLIPVOCE_TESSDATA_DOWNLOAD}/usr/share/tesseract-ocr/5/tessdata"
  CACHE PATH "A folder holding Tesseract's eng.traineddata")
set(CLIPVOCE_TESSDATA_LICENCE "${CLIPVOCE_TESSDATA_DOWNLOAD}/usr/share/doc/tesseract-ocr-eng/copyright"
  CACHE FILEPATH "Licence text of the recognition data")
if(CMAKE_HOST_UNIX AND CLIPVOCE_TESSDATA STREQUAL "${CLIPVOCE_TESSDATA_DOWNLOAD}/usr/share/tesseract-ocr/5/tessdata"
   AND NOT EXISTS "${CLIPVOCE_TESSDATA}/eng.traineddata")
  message(STATUS "Fetching Tesseract's English model (Debian's tesseract-ocr-eng) into ${CLIPVOCE_TESSDATA_DOWNLOAD}")
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/libs/tessdata/fetch.sh ${CLIPVOCE_TESSDATA_DOWNLOAD} RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "Fetching Debian's tesseract-ocr-eng failed (see above)")
  endif()
endif()
if(NOT EXISTS "${CLIPVOCE_TESSDATA}/eng.traineddata")
  message(FATAL_ERROR "eng.traineddata was not found: set CLIPVOCE_TESSDATA to a folder with it "
                      "(README.md, \"Building on Windows\")")
endif()
file(COPY "${CLIPVOCE_TESSDATA}/eng.traineddata" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/tessdata")
