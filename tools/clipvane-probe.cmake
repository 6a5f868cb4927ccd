add_executable(clipvane-probe ${CMAKE_CURRENT_LIST_DIR}/clipvane_probe.cpp)
target_link_libraries(clipvane-probe PRIVATE cv_media)
