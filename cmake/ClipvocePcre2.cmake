# PCRE2's 16-bit library (UTF-16 code units, as the program's text is), with its JIT
# compiler, for the pronunciation dictionary's regular expressions.
include(${CMAKE_CURRENT_LIST_DIR}/ClipvoceDebianLibrary.cmake)
clipvoce_static_library(PCRE2 clipvoce_pcre2 pcre2.h libpcre2-16.a libs/pcre2/build.sh "PCRE2's 16-bit static library")
