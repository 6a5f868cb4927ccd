add_executable(import_bench ${CMAKE_CURRENT_SOURCE_DIR}/import_bench.cpp)
target_link_libraries(import_bench PRIVATE cv_download)
set_target_properties(import_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
