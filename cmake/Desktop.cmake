# The program on a Linux desktop: its application id, the icons drawn by
# tools/cvres_icons, the desktop entry, the man pages and the install tree:
#   <prefix>/lib/clipvane/   the program, its tools and its own files
#   <prefix>/bin/            links to the program and the tools
#   <prefix>/share/applications/<id>.desktop, share/icons/hicolor/, share/man/man1/
#   <prefix>/share/metainfo/<id>.metainfo.xml
# and the Debian package of that tree (`cpack -G DEB` in the build folder).

# Reverse-domain name of the vendor's domain (see src/update/vendor_site.h):
# the desktop entry's name and the window's application id.
set(CLIPVANE_APP_ID "example.clipvane.Clipvane")
target_compile_definitions(cv_ui PUBLIC CLIPVANE_APP_ID="${CLIPVANE_APP_ID}")

add_executable(cvres_icons ${CMAKE_SOURCE_DIR}/tools/cvres_icons.cpp)
target_link_libraries(cvres_icons PRIVATE Qt6::Gui)
set_target_properties(cvres_icons PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(ICON_SIZES 16 32 48 64 128 256)
set(ICON_GEN ${CMAKE_BINARY_DIR}/icons/hicolor)
set(icon_outputs ${ICON_GEN}/scalable/apps/${CLIPVANE_APP_ID}.svg)
foreach(s ${ICON_SIZES})
  list(APPEND icon_outputs ${ICON_GEN}/${s}x${s}/apps/${CLIPVANE_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${icon_outputs}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:cvres_icons> ${ICON_GEN} ${CLIPVANE_APP_ID} ${ICON_SIZES}
  DEPENDS cvres_icons
  COMMENT "Drawing the desktop icons")
add_custom_target(clipvane_icons ALL DEPENDS ${icon_outputs})

set(LIBDIR lib/clipvane)
set(CLI_TOOLS clipvane-get clipvane-probe clipvane-history)

install(TARGETS clipvane RUNTIME DESTINATION ${LIBDIR})
foreach(t ${CLI_TOOLS})
  if(TARGET ${t})
    install(TARGETS ${t} RUNTIME DESTINATION ${LIBDIR})
  endif()
endforeach()
install(FILES ${CLIPVANE_OUT}/cvres.bundle DESTINATION ${LIBDIR})
install(DIRECTORY ${CLIPVANE_OUT}/lang.cv ${CLIPVANE_OUT}/help DESTINATION ${LIBDIR})
install(DIRECTORY ${ICON_GEN} DESTINATION share/icons)
install(FILES ${CMAKE_SOURCE_DIR}/docs/man/clipvane.1 ${CMAKE_SOURCE_DIR}/docs/man/clipvane-get.1
        ${CMAKE_SOURCE_DIR}/docs/man/clipvane-probe.1 ${CMAKE_SOURCE_DIR}/docs/man/clipvane-history.1
        DESTINATION share/man/man1)

configure_file(${CMAKE_SOURCE_DIR}/resources/desktop/clipvane.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/desktop/${CLIPVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/desktop/${CLIPVANE_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# Links and the desktop entry are made at install time, when the prefix
# given to `cmake --install --prefix` is known.
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/bin\" \"\${root}/share/applications\")
  foreach(t clipvane ${CLI_TOOLS})
    if(EXISTS \"\${root}/${LIBDIR}/\${t}\")
      file(CREATE_LINK \"../${LIBDIR}/\${t}\" \"\${root}/bin/\${t}\" SYMBOLIC)
    endif()
  endforeach()
  if(EXISTS \"${MPLAYER_PROGRAM}\")
    # Relative when the player lies under the same prefix (a package for /usr).
    set(player \"${MPLAYER_PROGRAM}\")
    cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX \"\${player}\" NORMALIZE under)
    if(under)
      file(RELATIVE_PATH player \"\${CMAKE_INSTALL_PREFIX}/${LIBDIR}\" \"\${player}\")
    endif()
    file(CREATE_LINK \"\${player}\" \"\${root}/${LIBDIR}/mplayer\" SYMBOLIC)
  endif()
  file(READ \"${CMAKE_SOURCE_DIR}/resources/desktop/clipvane.desktop.in\" entry)
  string(REPLACE \"@CLIPVANE_BIN@\" \"\${CMAKE_INSTALL_PREFIX}/bin\" entry \"\${entry}\")
  string(REPLACE \"@CLIPVANE_APP_ID@\" \"${CLIPVANE_APP_ID}\" entry \"\${entry}\")
  file(WRITE \"\${root}/share/applications/${CLIPVANE_APP_ID}.desktop\" \"\${entry}\")
  message(STATUS \"Installing: \${root}/share/applications/${CLIPVANE_APP_ID}.desktop\")
")

# The Debian package: the install tree under /usr. The libraries come from
# dpkg-shlibdeps; the player is needed, the converter and the extractor
# are used when present.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME clipvane)
set(CPACK_PACKAGE_VENDOR "Clipvane")
set(CPACK_PACKAGE_CONTACT "Clipvane developers <support@clipvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "downloader of online videos with a preview player")
set(CPACK_PACKAGE_DESCRIPTION "Clipvane downloads the videos of video pages into a folder of
your choice, one after the other, shows them in a preview player and keeps a
history of the downloads of each site. Command-line tools download, probe
media files and read the history.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.clipvane.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mplayer")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, yt-dlp")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
configure_file(${CMAKE_SOURCE_DIR}/cmake/DebPrebuild.cmake ${CMAKE_BINARY_DIR}/DebPrebuild.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/DebPrebuild.cmake)
include(CPack)
