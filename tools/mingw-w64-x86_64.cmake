# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which std::thread and
# std::mutex need). Used by the windows preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LFQ_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LFQ_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LFQ_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LFQ_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree only; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LFQ_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages also from prefixes given with CMAKE_PREFIX_PATH (an installed foundation library, for one).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The C and C++ runtimes and the thread library go into each binary, so the program needs no MinGW DLL
# beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
