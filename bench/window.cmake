add_executable(window_bench ${CMAKE_CURRENT_SOURCE_DIR}/window_bench.cpp)
target_link_libraries(window_bench PRIVATE cv_ui)
set_target_properties(window_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(window_bench clipvane_resources clipvane-get)
