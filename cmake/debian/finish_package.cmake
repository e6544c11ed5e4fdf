# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files installed for the Debian
# package, before they are packed. It does what Debian's packaging tools do to
# an installed program: strips it as dh_strip does, compresses the manual page
# and adds the copyright file and the changelog. Every compressed file is made
# with gzip -9n: best compression, no name or time stamp, so the same sources
# give the same bytes.
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")

execute_process(COMMAND "${CPACK_STARMARK_STRIP}" --remove-section=.comment --remove-section=.note
                        "${usr}/${CPACK_STARMARK_PROGRAM}" COMMAND_ERROR_IS_FATAL ANY)

file(COPY "${CPACK_STARMARK_DEBIAN_DIR}/copyright" "${CPACK_STARMARK_DEBIAN_DIR}/changelog"
     DESTINATION "${doc}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(COMMAND gzip -9n "${doc}/changelog" "${usr}/${CPACK_STARMARK_MANUAL_PAGE}"
                COMMAND_ERROR_IS_FATAL ANY)
