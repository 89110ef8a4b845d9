# Cross-compiling for 32-bit Windows, again with the posix-threads toolchain. The
# 32-bit build is for users whose lame_enc.dll is 32-bit: a process loads only
# libraries of its own architecture.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CLIPVOCE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
