# Installs the manual page beside the program, and describes the Debian
# package that `cpack -G DEB` builds from what `cmake --install` installs:
# bin/starmark and share/man/man1/starmark.1 under /usr. The install rules
# leave stripping and compression to the packaging, as Debian's tools expect:
# cmake/debian/finish_package.cmake does them for the package, and adds its
# copyright file and changelog.
include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/man/starmark.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Maintainer field of the package: a name and an address.
set(STARMARK_MAINTAINER "The starmark developers <maintainer@example.org>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME starmark)
set(CPACK_PACKAGE_CONTACT "${STARMARK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "select PSF stars from a star list and a log of marked positions")
set(CPACK_PACKAGE_DESCRIPTION
    "For every position of an image editor's log, starmark finds the nearest\n\
star of the image's star list and, when it lies within 3 pixels, copies its\n\
record to the list of stars from which the point-spread function is built.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed from the libraries the program is linked with, the C
# library alone, and names libedit, which the program loads for the answers
# typed at a terminal.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libedit2)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/finish_package.cmake)
set(CPACK_STARMARK_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)
set(CPACK_STARMARK_PROGRAM ${CMAKE_INSTALL_BINDIR}/starmark)
set(CPACK_STARMARK_MANUAL_PAGE ${CMAKE_INSTALL_MANDIR}/man1/starmark.1)
set(CPACK_STARMARK_STRIP ${CMAKE_STRIP})
include(CPack)
