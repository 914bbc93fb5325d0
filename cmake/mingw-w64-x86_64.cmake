# Cross-compiling the Windows program (64-bit) with Debian's MinGW-w64 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WSMON_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX threading variant: it has std::mutex, which GoogleTest needs (the win32 variant has
# none); the program is single-threaded either way.
set(CMAKE_C_COMPILER ${WSMON_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WSMON_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${WSMON_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WSMON_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program must run from a bare folder: no libgcc, libstdc++ or winpthread DLLs beside it
# (under Wine a missing libstdc++-6.dll makes a program exit silently with code 53).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
