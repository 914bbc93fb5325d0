# Linux: the termios serial port, clock and files, the front ends and the simulated receiver.
wsmon_sources(POSIX_SOURCES src/platform/posix)
if(POSIX_SOURCES)
  add_library(wsmon_posix STATIC ${POSIX_SOURCES})
  target_link_libraries(wsmon_posix PUBLIC wsmon_cli wsmon_core)
  target_compile_options(wsmon_posix PRIVATE ${WSMON_WARNINGS})
endif()

# The front ends (src/frontend: the command line, the headless and the terminal front ends and
# what they share) as one library, so that the program, the tests, the fuzzers and the
# benchmarks link the same code; the program itself is its entry alone.
file(GLOB FRONTEND_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/frontend/*/*.cpp)
list(FILTER FRONTEND_SOURCES EXCLUDE REGEX "/src/frontend/program/main\\.cpp$")
if(FRONTEND_SOURCES)
  add_library(wsmon_frontend STATIC ${FRONTEND_SOURCES})
  target_link_libraries(wsmon_frontend PUBLIC wsmon_posix wsmon_recording wsmon_memory wsmon_ledger
                                              wsmon_core)
  target_compile_options(wsmon_frontend PRIVATE ${WSMON_WARNINGS})
  # The terminal front end: ncurses with its wide-character API (Debian's libncurses-dev).
  set(CURSES_NEED_WIDE TRUE)
  find_package(Curses REQUIRED)
  target_include_directories(wsmon_frontend PRIVATE ${CURSES_INCLUDE_DIRS})
  target_link_libraries(wsmon_frontend PUBLIC ${CURSES_LIBRARIES})
  target_compile_definitions(wsmon_frontend PRIVATE NCURSES_WIDECHAR=1)
  # The JSON Lines records (Debian's nlohmann-json3-dev, headers only).
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(wsmon_frontend PRIVATE nlohmann_json::nlohmann_json)
  # The network outputs: the HTTP server (Debian's libcpp-httplib-dev, a compiled library whose
  # header must be read with the same settings it was built with, hence its pkg-config flags)
  # and the MQTT client (libmosquitto-dev), each on threads of its own.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
  find_package(Threads REQUIRED)
  target_link_libraries(wsmon_frontend PUBLIC PkgConfig::HTTPLIB PkgConfig::MOSQUITTO
                                              Threads::Threads)
  # The live page, made into a string of the program from its HTML file.
  set(LIVE_PAGE_HTML ${CMAKE_CURRENT_SOURCE_DIR}/src/frontend/network/live_page.html)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LIVE_PAGE_HTML})
  file(READ ${LIVE_PAGE_HTML} WSMON_LIVE_PAGE)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/src/frontend/network/live_page.cpp.in
                 ${CMAKE_CURRENT_BINARY_DIR}/generated/live_page.cpp @ONLY)
  target_sources(wsmon_frontend PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated/live_page.cpp)

  add_executable(wsmon src/frontend/program/main.cpp)
  target_link_libraries(wsmon PRIVATE wsmon_frontend)
  target_compile_options(wsmon PRIVATE ${WSMON_WARNINGS})
endif()

# The simulated receiver: its parts as a library, which its tests link too, and its entry.
wsmon_sources(SIM_SOURCES tools/sim)
list(FILTER SIM_SOURCES EXCLUDE REGEX "/tools/sim/main\\.cpp$")
if(SIM_SOURCES)
  add_library(wsmon_sim STATIC ${SIM_SOURCES})
  target_include_directories(wsmon_sim PUBLIC tools)
  target_link_libraries(wsmon_sim PUBLIC wsmon_posix wsmon_recording)
  target_compile_options(wsmon_sim PRIVATE ${WSMON_WARNINGS})

  add_executable(wsmon-sim tools/sim/main.cpp)
  target_link_libraries(wsmon-sim PRIVATE wsmon_sim)
  target_compile_options(wsmon-sim PRIVATE ${WSMON_WARNINGS})
endif()
