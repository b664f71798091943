# Cross-compiles the 32-bit Windows program with MinGW-w64 (i686), C and C++ runtimes linked statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: the posix model links winpthreads statically, which imports GetTickCount64, a
# function Windows XP's kernel32 does not have, so XP's loader would refuse skiff.exe. Nothing in the program
# uses std::thread, which is all the posix model would add.
find_program(MINGW_WIN32_CXX NAMES i686-w64-mingw32-g++-win32 REQUIRED)
find_program(MINGW_WIN32_CC NAMES i686-w64-mingw32-gcc-win32 REQUIRED)
set(CMAKE_CXX_COMPILER ${MINGW_WIN32_CXX})
set(CMAKE_C_COMPILER ${MINGW_WIN32_CC})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
