# Collects the bundle's entries: sources first, generated files over them.
set(args)
foreach(root ${SRC} ${GEN})
  file(GLOB_RECURSE files RELATIVE ${root}
    ${root}/strings.txt ${root}/dialogs/*.dlg ${root}/menus/*.menu
    ${root}/accelerators/*.acc ${root}/bitmaps/*.png ${root}/icons/*.png)
  foreach(f ${files})
    list(APPEND args "${f}=${root}/${f}")
  endforeach()
endforeach()
execute_process(COMMAND ${PACK} ${OUT} ${args} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "packing the resource bundle failed")
endif()
