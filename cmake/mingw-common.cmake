# Shared part of the MinGW-w64 toolchain files: set DLSMATE_MINGW_TRIPLE first.
# The posix-thread variants of the compilers; everything the worker needs from
# the GCC runtime (libstdc++, libgcc, winpthread) is linked in, so the .exe
# imports only Windows's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${DLSMATE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DLSMATE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DLSMATE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${DLSMATE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
