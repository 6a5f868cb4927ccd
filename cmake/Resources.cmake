# The resource bundle and the program's data files, beside the executable.
set(RES_SRC ${CMAKE_SOURCE_DIR}/resources)
set(RES_GEN ${CMAKE_BINARY_DIR}/resources)
set(BUNDLE ${CLIPVANE_OUT}/cvres.bundle)

# Drawn bitmaps; the generator lists nothing in advance, so a stamp stands for them.
add_custom_command(
  OUTPUT ${RES_GEN}/bitmaps.stamp
  COMMAND cvres_bitmaps ${RES_GEN}
  COMMAND cvres_skin ${RES_GEN}
  COMMAND ${CMAKE_COMMAND} -E touch ${RES_GEN}/bitmaps.stamp
  DEPENDS cvres_bitmaps cvres_skin
  COMMENT "Drawing bundle bitmaps")

file(GLOB_RECURSE res_files CONFIGURE_DEPENDS
  ${RES_SRC}/strings.txt ${RES_SRC}/dialogs/*.dlg ${RES_SRC}/menus/*.menu
  ${RES_SRC}/accelerators/*.acc ${RES_SRC}/bitmaps/*.png ${RES_SRC}/icons/*.png)
add_custom_command(
  OUTPUT ${BUNDLE}
  COMMAND ${CMAKE_COMMAND} -DPACK=$<TARGET_FILE:cvres_pack> -DSRC=${RES_SRC} -DGEN=${RES_GEN}
          -DOUT=${BUNDLE} -P ${CMAKE_SOURCE_DIR}/cmake/PackBundle.cmake
  DEPENDS cvres_pack ${res_files} ${RES_GEN}/bitmaps.stamp ${CMAKE_SOURCE_DIR}/cmake/PackBundle.cmake
  COMMENT "Packing the resource bundle")

file(GLOB_RECURSE data_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lang.cv/* ${RES_SRC}/help/*)
set(data_outputs)
foreach(f ${data_files})
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${f})
  string(REPLACE "resources/help/" "help/" rel ${rel})
  add_custom_command(OUTPUT ${CLIPVANE_OUT}/${rel}
    COMMAND ${CMAKE_COMMAND} -E copy ${f} ${CLIPVANE_OUT}/${rel} DEPENDS ${f})
  list(APPEND data_outputs ${CLIPVANE_OUT}/${rel})
endforeach()

# The bitmaps that carry words, drawn again in each translation's words.
foreach(code ja zh_cn)
  set(ini ${CMAKE_SOURCE_DIR}/lang.cv/lang_${code}.ini)
  set(stamp ${RES_GEN}/lang_${code}.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND cvres_skin --lang ${code} ${ini} ${CLIPVANE_OUT}/lang.cv/${code}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS cvres_skin ${ini}
    COMMENT "Drawing the ${code} bitmaps")
  list(APPEND data_outputs ${stamp})
endforeach()

add_custom_target(clipvane_resources ALL DEPENDS ${BUNDLE} ${data_outputs})

# The player: a link in the program folder to the system's mplayer.
find_program(MPLAYER_PROGRAM mplayer)
if(MPLAYER_PROGRAM)
  add_custom_command(OUTPUT ${CLIPVANE_OUT}/mplayer
    COMMAND ${CMAKE_COMMAND} -E create_symlink ${MPLAYER_PROGRAM} ${CLIPVANE_OUT}/mplayer
    COMMENT "Linking the player")
  add_custom_target(clipvane_player_link ALL DEPENDS ${CLIPVANE_OUT}/mplayer)
endif()
