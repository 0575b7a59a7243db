# Cross-compiling plovanet.exe for 64-bit Windows from Linux with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix). The posix-threads variant of the compiler is the one whose
# C++ library supports std::thread and friends.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLOVANET_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${PLOVANET_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLOVANET_MINGW_TRIPLET}-windres)

# Look for libraries and headers only in the MinGW sysroot, but find build tools on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${PLOVANET_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
