# Shared part of the MinGW-w64 toolchain files; WGS_MINGW_TRIPLE names the target.
# The compilers with the POSIX thread model: GoogleTest needs std::mutex, which
# the win32 thread model of this GCC lacks. Everything is linked statically, so
# the program still needs no DLL beyond the system's.
set(CMAKE_C_COMPILER ${WGS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WGS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${WGS_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${WGS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
