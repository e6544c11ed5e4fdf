# Installs the manual page beside the program, and describes the Debian
# package that `cpack -G DEB` builds from what `cmake --install` installs:
# bin/starmark and share/man/man1/starmark.1 under /usr.
include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/man/starmark.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME starmark)
set(CPACK_PACKAGE_CONTACT "The starmark developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "select PSF stars from a star list and a log of marked positions")
set(CPACK_PACKAGE_DESCRIPTION
    "For every position of an image editor's log, starmark finds the nearest\n\
star of the image's star list and, when it lies within 3 pixels, copies its\n\
record to the list of stars from which the point-spread function is built.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed from the libraries the program is linked with: the C and
# C++ run-time libraries only.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
