# Cross-building for 64-bit Windows with mingw-w64 (posix threads); the programs are statically
# linked so that they run under Wine or on Windows without the compiler's DLLs, and CTest runs
# them through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZARNELL_MINGW_TARGET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${ZARNELL_MINGW_TARGET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${ZARNELL_MINGW_TARGET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${ZARNELL_MINGW_TARGET}-windres)

# The target's headers and libraries sit beside the compiler's bin folder.
get_filename_component(zarnell_mingw_bin ${CMAKE_CXX_COMPILER} DIRECTORY)
get_filename_component(zarnell_mingw_prefix ${zarnell_mingw_bin} DIRECTORY)
set(CMAKE_FIND_ROOT_PATH ${zarnell_mingw_prefix}/${ZARNELL_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/windows/wine-run.sh)
