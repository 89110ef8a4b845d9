# Sonic, which changes the speed of speech and keeps its pitch: the program's own player
# and the export at another speed.
include(${CMAKE_CURRENT_LIST_DIR}/ClipvoceDebianLibrary.cmake)
clipvoce_static_library(SONIC clipvoce_sonic sonic.h libsonic.a libs/sonic/build.sh "Sonic's static library")
