# skiff.exe: the Windows skin over the portable core and the link library, with its resources.
enable_language(RC)
# A build folder keeps the compiler it was first configured with, even when the toolchain file names another.
if(NOT CMAKE_CXX_COMPILER MATCHES "-win32$")
  message(FATAL_ERROR "${CMAKE_BINARY_DIR} was configured with ${CMAKE_CXX_COMPILER}; skiff.exe is built with "
                      "the win32 thread model (cmake/mingw-toolchain.cmake): configure again with --fresh")
endif()
# The version resource, from the project's one version number (2.3 is 2,3,0,0).
set(SKIFF_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(SKIFF_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(SKIFF_VERSION_PATCH "${PROJECT_VERSION_PATCH}")
if(SKIFF_VERSION_PATCH STREQUAL "")
  set(SKIFF_VERSION_PATCH 0)
endif()
set(VERSION_RC ${CMAKE_BINARY_DIR}/generated/version.rc)
configure_file(${CMAKE_SOURCE_DIR}/ui/resources/version.rc.in ${VERSION_RC} @ONLY)
file(GLOB WIN32_SKIN_SOURCES CONFIGURE_DEPENDS app/*_win32.cpp)
if(WIN32_SKIN_SOURCES)
  add_executable(skiff_exe WIN32 ${WIN32_SKIN_SOURCES} ui/resources/skiff.rc)
  set_target_properties(skiff_exe PROPERTIES OUTPUT_NAME skiff)
  target_include_directories(skiff_exe PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated
                                               ${CMAKE_SOURCE_DIR}/ui/resources)
  # The resource compiler does not report the files skiff.rc binds; name them so that new artwork rebuilds.
  file(GLOB SKIFF_ARTWORK CONFIGURE_DEPENDS ui/resources/*.bmp ui/resources/*.ico)
  set_source_files_properties(ui/resources/skiff.rc PROPERTIES
    OBJECT_DEPENDS "${STRINGS_RC};${VERSION_RC};${SKIFF_ARTWORK}")
  target_link_libraries(skiff_exe PRIVATE skiff_portable skiff_dil comdlg32 gdi32 user32)
  target_link_options(skiff_exe PRIVATE -mwindows)
  # The program runs on Windows XP: the headers declare nothing newer, so a later function cannot creep in, and
  # every link is followed by the check of what the image imports and which Windows its header asks for.
  target_compile_definitions(skiff_exe PRIVATE _WIN32_WINNT=0x0501 WINVER=0x0501)
  target_compile_definitions(skiff_dil PRIVATE _WIN32_WINNT=0x0501 WINVER=0x0501)
  add_custom_command(TARGET skiff_exe POST_BUILD
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-pe.sh $<TARGET_FILE:skiff_exe> ${CMAKE_SYSTEM_PROCESSOR}
    VERBATIM)
endif()
# Windows-side test programs (GUI driver, link test under Wine) live with the tests.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/win32/CMakeLists.txt)
  add_subdirectory(tests/win32)
endif()
