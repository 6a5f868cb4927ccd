add_executable(shell_bench ${CMAKE_CURRENT_LIST_DIR}/shell_bench.cpp)
target_link_libraries(shell_bench PRIVATE cv_ui)
set_target_properties(shell_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(shell_bench clipvane_resources)
