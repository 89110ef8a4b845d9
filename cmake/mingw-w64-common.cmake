# The part of the MinGW-w64 toolchain files that both architectures share; the
# including file sets CMAKE_SYSTEM_PROCESSOR and CLIPVOCE_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${CLIPVOCE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CLIPVOCE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${CLIPVOCE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CLIPVOCE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run through Wine; the wrapper supplies the prefix and display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
