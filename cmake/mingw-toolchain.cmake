# Cross-compiles a Windows program with MinGW-w64 for SKIFF_MINGW_TRIPLET (set by cmake/mingw-i686.cmake or
# cmake/mingw-x86_64.cmake), C and C++ runtimes linked statically.
set(CMAKE_SYSTEM_NAME Windows)
# The win32 thread model: the posix model links winpthreads statically, which imports GetTickCount64, a
# function Windows XP's kernel32 does not have, so XP's loader would refuse skiff.exe. Nothing in the program
# uses std::thread, which is all the posix model would add.
find_program(MINGW_WIN32_CXX NAMES ${SKIFF_MINGW_TRIPLET}-g++-win32 REQUIRED)
find_program(MINGW_WIN32_CC NAMES ${SKIFF_MINGW_TRIPLET}-gcc-win32 REQUIRED)
set(CMAKE_CXX_COMPILER ${MINGW_WIN32_CXX})
set(CMAKE_C_COMPILER ${MINGW_WIN32_CC})
set(CMAKE_RC_COMPILER ${SKIFF_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SKIFF_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
