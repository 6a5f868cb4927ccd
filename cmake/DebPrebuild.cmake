# Run by CPack on its staging tree before the Debian package is made: the
# package's man pages are compressed and it carries its copyright and
# changelog, as Debian packages do. `cmake --install` leaves these alone.
find_program(GZIP gzip REQUIRED)
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.1")
list(FILTER pages INCLUDE REGEX "/share/man/man1/[^/]*\\.1$")
foreach(page ${pages})
  execute_process(COMMAND ${GZIP} -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB_RECURSE entries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.desktop")
list(GET entries 0 entry)
cmake_path(GET entry PARENT_PATH apps)
cmake_path(GET apps PARENT_PATH share)
set(doc "${share}/doc/clipvane")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "@CMAKE_SOURCE_DIR@/docs/copyright" "${doc}/copyright")
# The release's date, as in the metainfo, so that the package is the same
# whenever it is made.
set(when "Wed, 09 Dec 2026 00:00:00 +0000")
file(WRITE "${doc}/changelog"
  "clipvane (@PROJECT_VERSION@) unstable; urgency=medium\n\n"
  "  * Release @PROJECT_VERSION@.\n\n"
  " -- @CPACK_PACKAGE_CONTACT@  ${when}\n")
execute_process(COMMAND ${GZIP} -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
file(CHMOD "${doc}/copyright" "${doc}/changelog.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
