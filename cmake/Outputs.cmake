# The outputs (src/outputs): what is made of the monitor's event stream besides its window (the
# CSV files, the JSON Lines, the HTTP server and the MQTT publisher), portable C++ in one library
# with the libraries it needs, so that every program and benchmark links the same outputs.
# Each writer keeps its platform code in one small piece (src/outputs/posix and
# src/outputs/win32: the JSON Lines' output, the network's host facts); the CSV files go through
# the core's file store. Included
# by the platform's build file, which names the platform's libraries before.
if(WIN32)
  wsmon_sources(OUTPUTS_SOURCES src/outputs src/outputs/network src/outputs/win32)
else()
  wsmon_sources(OUTPUTS_SOURCES src/outputs src/outputs/network src/outputs/posix)
endif()
add_library(wsmon_outputs STATIC ${OUTPUTS_SOURCES})
target_link_libraries(wsmon_outputs PUBLIC wsmon_ledger wsmon_cli wsmon_core)
target_compile_options(wsmon_outputs PRIVATE ${WSMON_WARNINGS})
find_package(Threads REQUIRED)
target_link_libraries(wsmon_outputs PUBLIC Threads::Threads)
if(WIN32)
  # The libraries built for MinGW-w64 (cmake/MingwDeps.cmake), and the access lists of a token's
  # file.
  target_link_libraries(wsmon_outputs PUBLIC wsmon_win32 wsmon::json)
  target_link_libraries(wsmon_outputs PRIVATE wsmon::httplib wsmon::mosquitto advapi32)
else()
  target_link_libraries(wsmon_outputs PUBLIC wsmon_posix)
  # The JSON records (Debian's nlohmann-json3-dev, headers only).
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(wsmon_outputs PUBLIC nlohmann_json::nlohmann_json)
  # The HTTP server (Debian's libcpp-httplib-dev, a compiled library whose header must be read
  # with the same settings it was built with, hence its pkg-config flags) and the MQTT client
  # (libmosquitto-dev), each on threads of its own.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
  target_link_libraries(wsmon_outputs PRIVATE PkgConfig::HTTPLIB PkgConfig::MOSQUITTO)
endif()
# The live page, made into a string of the program from its HTML file.
set(LIVE_PAGE_HTML ${CMAKE_CURRENT_SOURCE_DIR}/src/outputs/network/live_page.html)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LIVE_PAGE_HTML})
file(READ ${LIVE_PAGE_HTML} WSMON_LIVE_PAGE)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/src/outputs/network/live_page.cpp.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/live_page.cpp @ONLY)
target_sources(wsmon_outputs PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated/live_page.cpp)
