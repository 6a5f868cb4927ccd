# Names of the resource numbers for the code (ids::str::kReady ...), written
# from the resource sources; the same run stops the build when a translation's
# format has other arguments than the English one.
set(IDS_HEADER ${CMAKE_BINARY_DIR}/generated/resource_ids.h)
file(GLOB ids_sources CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/strings.txt ${CMAKE_SOURCE_DIR}/resources/dialogs/*.dlg
  ${CMAKE_SOURCE_DIR}/resources/menus/*.menu ${CMAKE_SOURCE_DIR}/resources/accelerators/*.acc)
file(GLOB ids_languages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lang.cv/lang_*.ini)
add_custom_command(
  OUTPUT ${IDS_HEADER}
  COMMAND cvres_ids ${IDS_HEADER} ${CMAKE_SOURCE_DIR}/resources ${ids_languages}
  DEPENDS cvres_ids ${ids_sources} ${ids_languages}
  COMMENT "Naming the resource numbers and checking the translations' formats")
add_custom_target(clipvane_ids DEPENDS ${IDS_HEADER})

# Linked by whatever includes "resource_ids.h".
add_library(cv_ids INTERFACE)
target_include_directories(cv_ids INTERFACE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(cv_ids clipvane_ids)
