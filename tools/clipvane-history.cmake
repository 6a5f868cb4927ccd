add_executable(clipvane-history ${CMAKE_CURRENT_LIST_DIR}/clipvane_history.cpp)
target_link_libraries(clipvane-history PRIVATE cv_history)
