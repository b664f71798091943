# The same sources as a 64-bit Windows program (MinGW-w64 x86-64): what the Wine tests run on a machine whose
# kernel cannot run 32-bit programs, and a check that no pointer is kept in a 32-bit place.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SKIFF_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
