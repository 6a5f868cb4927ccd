add_executable(media_bench ${CMAKE_CURRENT_LIST_DIR}/media_bench.cpp)
target_link_libraries(media_bench PRIVATE cv_history)
set_target_properties(media_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
