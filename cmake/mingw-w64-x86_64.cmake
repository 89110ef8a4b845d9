# Cross-compiling for 64-bit Windows with the posix-threads MinGW-w64 toolchain
# (the win32-threads variant lacks std::thread and std::mutex).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CLIPVOCE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
