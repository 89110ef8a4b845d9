# Cross-compiling for 64-bit Windows with the posix-threads MinGW-w64 toolchain
# (the win32-threads variant lacks std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CLIPVOCE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${CLIPVOCE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CLIPVOCE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${CLIPVOCE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CLIPVOCE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run through Wine; the wrapper supplies the prefix and display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
