# Windows with the Debian mingw-w64 compilers (GCC, posix threads), for the processor that the
# including toolchain file sets in CMAKE_SYSTEM_PROCESSOR (x86_64 or i686).
# Programs are linked statically: run under Wine or copied to a Windows machine, they need no
# libstdc++, libgcc or winpthread DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)

set(mingw_prefix ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs (and ctest's test discovery) run through the 64-bit Wine loader, which hands a
# 32-bit program to Wine's 32-bit side, in a Wine prefix of the build tree's own (a 64-bit
# prefix, so that programs of both widths run in it). How much Wine says is
# scripts/wine-ctest's choice (WINEDEBUG).
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix /usr/lib/wine/wine64)
