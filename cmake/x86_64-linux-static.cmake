# Linux x86-64 (BOINC platform x86_64-pc-linux-gnu) as one fully static
# executable: no shared library and no glibc symbol version needed at run time,
# so it runs on distributions older than the one it is built on.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread")
set(CMAKE_CXX_FLAGS_INIT "-pthread")
