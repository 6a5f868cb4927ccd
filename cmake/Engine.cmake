# The engine: plain C++ over libcurl, PCRE2, SQLite and log4cpp; no Qt.
configure_file(${CMAKE_SOURCE_DIR}/src/app/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)

function(clipvane_engine_lib name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
endfunction()

clipvane_engine_lib(cv_platform platform)
target_link_libraries(cv_platform PUBLIC Threads::Threads)

clipvane_engine_lib(cv_app app)
target_link_libraries(cv_app PUBLIC cv_platform PkgConfig::LOG4CPP)
target_link_libraries(cv_app PUBLIC CURL::libcurl)
