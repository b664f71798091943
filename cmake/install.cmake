# What `cmake --install` puts where (programs in bin/, man pages, bash completion, the README) and the Debian
# package that `cpack -G DEB` makes of the same files. The installable files the build makes land in dist/.
include(GNUInstallDirs)
set(SKIFF_DIST ${CMAKE_BINARY_DIR}/dist)

# Man pages: the version filled in, compressed as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(SKIFF_MAN_PAGES "")
foreach(page skiff newton-sim)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}.1.in ${SKIFF_DIST}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${SKIFF_DIST}/${page}.1.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${SKIFF_DIST}/${page}.1
    DEPENDS ${SKIFF_DIST}/${page}.1
    VERBATIM)
  list(APPEND SKIFF_MAN_PAGES ${SKIFF_DIST}/${page}.1.gz)
endforeach()
add_custom_target(skiff_man_pages ALL DEPENDS ${SKIFF_MAN_PAGES})

# Bash completion, its option lists taken from the built program's --help.
add_custom_command(OUTPUT ${SKIFF_DIST}/skiff.bash
  COMMAND ${CMAKE_COMMAND} -DSKIFF=$<TARGET_FILE:skiff> -DIN=${CMAKE_CURRENT_SOURCE_DIR}/cli/completion.bash.in
          -DOUT=${SKIFF_DIST}/skiff.bash -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/completion.cmake
  DEPENDS skiff ${CMAKE_CURRENT_SOURCE_DIR}/cli/completion.bash.in ${CMAKE_CURRENT_SOURCE_DIR}/cmake/completion.cmake
  VERBATIM)
add_custom_target(skiff_completion ALL DEPENDS ${SKIFF_DIST}/skiff.bash)

install(TARGETS skiff newton-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SKIFF_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${SKIFF_DIST}/skiff.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME skiff)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: cpack -G DEB in the build folder. Its dependencies are what dpkg-shlibdeps finds the
# programs linked against: the C and C++ runtimes.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skiff)
set(CPACK_PACKAGE_VERSION ${SKIFF_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "moves files to a Newton handheld over a serial cable")
# Debian's control file keeps the long description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "\
Skiff sends text notes, pictures and bitmaps to its companion application on a
Newton and installs packages through the Newton's own dock, over a real RS-232
port or a USB-serial adapter. This package holds the command-line program skiff
and newton-sim, a simulated Newton for trying it out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(SKIFF_PACKAGE_MAINTAINER "Skiff developers <skiff@invalid>" CACHE STRING "The Debian package's Maintainer")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SKIFF_PACKAGE_MAINTAINER}")
include(CPack)
