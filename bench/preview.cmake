add_executable(preview_bench ${CMAKE_CURRENT_LIST_DIR}/preview_bench.cpp)
target_link_libraries(preview_bench PRIVATE cv_ui)
add_dependencies(preview_bench clipvane_resources)
# Beside the program, so that it finds the bundle and the player link.
set_target_properties(preview_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CLIPVANE_OUT})
