add_executable(download_bench ${CMAKE_CURRENT_SOURCE_DIR}/download_bench.cpp)
target_link_libraries(download_bench PRIVATE cv_download)
set_target_properties(download_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
