# The program on a Linux desktop: its application id, the icons drawn by
# tools/cvres_icons, the desktop entry, the man pages and the install tree:
#   <prefix>/lib/clipvane/   the program, its tools and its own files
#   <prefix>/bin/            links to the program and the tools
#   <prefix>/share/applications/<id>.desktop, share/icons/hicolor/, share/man/man1/

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
    file(CREATE_LINK \"${MPLAYER_PROGRAM}\" \"\${root}/${LIBDIR}/mplayer\" SYMBOLIC)
  endif()
  file(READ \"${CMAKE_SOURCE_DIR}/resources/desktop/clipvane.desktop.in\" entry)
  string(REPLACE \"@CLIPVANE_BIN@\" \"\${CMAKE_INSTALL_PREFIX}/bin\" entry \"\${entry}\")
  string(REPLACE \"@CLIPVANE_APP_ID@\" \"${CLIPVANE_APP_ID}\" entry \"\${entry}\")
  file(WRITE \"\${root}/share/applications/${CLIPVANE_APP_ID}.desktop\" \"\${entry}\")
  message(STATUS \"Installing: \${root}/share/applications/${CLIPVANE_APP_ID}.desktop\")
")
