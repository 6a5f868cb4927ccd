# The command-line downloader over the download engine (no Qt).
add_executable(clipvane-get ${CMAKE_CURRENT_SOURCE_DIR}/clipvane_get.cpp)
target_link_libraries(clipvane-get PRIVATE cv_download cv_history)
