# The shipped skiff.exe: a 32-bit Windows program (MinGW-w64 i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SKIFF_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
