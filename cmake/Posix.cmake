# Linux: the termios serial port, clock and files, the outputs, the front ends and the simulated
# receiver.
wsmon_sources(POSIX_SOURCES src/platform/posix)
if(POSIX_SOURCES)
  add_library(wsmon_posix STATIC ${POSIX_SOURCES})
  target_link_libraries(wsmon_posix PUBLIC wsmon_cli wsmon_core)
  target_compile_options(wsmon_posix PRIVATE ${WSMON_WARNINGS})
endif()

include(cmake/Outputs.cmake)

# The front ends (src/frontend: the command line, the headless and the terminal front ends and
# their plumbing) as one library, so that the program, the tests, the fuzzers and the benchmarks
# link the same code; the program itself is its entry alone.
file(GLOB FRONTEND_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/frontend/*/*.cpp)
list(FILTER FRONTEND_SOURCES EXCLUDE REGEX "/src/frontend/program/main\\.cpp$")
if(FRONTEND_SOURCES)
  add_library(wsmon_frontend STATIC ${FRONTEND_SOURCES})
  target_link_libraries(wsmon_frontend PUBLIC wsmon_service wsmon_outputs wsmon_recording wsmon_posix
                                              wsmon_memory wsmon_ledger wsmon_core)
  target_compile_options(wsmon_frontend PRIVATE ${WSMON_WARNINGS})
  # The terminal front end: ncurses with its wide-character API (Debian's libncurses-dev).
  set(CURSES_NEED_WIDE TRUE)
  find_package(Curses REQUIRED)
  target_include_directories(wsmon_frontend PRIVATE ${CURSES_INCLUDE_DIRS})
  target_link_libraries(wsmon_frontend PUBLIC ${CURSES_LIBRARIES})
  target_compile_definitions(wsmon_frontend PRIVATE NCURSES_WIDECHAR=1)

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
