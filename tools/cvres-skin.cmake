# The main window's skin bitmaps, drawn at build time.
add_executable(cvres_skin ${CMAKE_CURRENT_LIST_DIR}/cvres_skin.cpp)
target_link_libraries(cvres_skin PRIVATE Qt6::Gui)
set_target_properties(cvres_skin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
