add_executable(timed_run ${CMAKE_CURRENT_SOURCE_DIR}/timed_run.cpp)
set_target_properties(timed_run PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
