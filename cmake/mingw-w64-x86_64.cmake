# Cross build for Windows x64 with Debian's mingw-w64 (posix threading variant).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Test executables run under Wine; Debian 12's `wine` launcher runs 64-bit programs.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# libjpeg and GoogleTest for mingw, built by scripts/setup.sh.
get_filename_component(LAKRA_MINGW_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../.deps/x86_64-w64-mingw32"
    ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${LAKRA_MINGW_PREFIX})
set(CMAKE_PREFIX_PATH ${LAKRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
