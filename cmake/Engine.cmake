# The engine: plain C++ over libcurl, PCRE2, SQLite and log4cpp; no Qt.
# One static library per subsystem folder that has sources; cv_engine is
# all of them.
configure_file(${CMAKE_SOURCE_DIR}/src/app/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)

add_library(cv_engine INTERFACE)

function(clipvane_engine_lib name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARGN})
  target_link_libraries(cv_engine INTERFACE ${name})
endfunction()

clipvane_engine_lib(cv_platform platform Threads::Threads)
clipvane_engine_lib(cv_app app cv_platform PkgConfig::LOG4CPP CURL::libcurl)
clipvane_engine_lib(cv_download download cv_app CURL::libcurl PkgConfig::PCRE2 nlohmann_json::nlohmann_json
  OpenSSL::Crypto)
clipvane_engine_lib(cv_media media cv_app)
clipvane_engine_lib(cv_history history cv_media cv_download SQLite::SQLite3)
clipvane_engine_lib(cv_update update cv_app CURL::libcurl)
