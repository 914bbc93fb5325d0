# Linux: the termios serial port, clock and files, the front ends and the simulated receiver.
wsmon_sources(POSIX_SOURCES src/platform/posix)
if(POSIX_SOURCES)
  add_library(wsmon_posix STATIC ${POSIX_SOURCES})
  target_link_libraries(wsmon_posix PUBLIC wsmon_core)
  target_compile_options(wsmon_posix PRIVATE ${WSMON_WARNINGS})
endif()

# The monitor's Linux front ends: every folder under src/frontend is one program's sources,
# sharing src/frontend/common.
wsmon_sources(FRONTEND_COMMON_SOURCES src/frontend/common)
wsmon_sources(HEADLESS_SOURCES src/frontend/headless)
if(HEADLESS_SOURCES)
  add_executable(wsmon ${HEADLESS_SOURCES} ${FRONTEND_COMMON_SOURCES})
  target_link_libraries(wsmon PRIVATE wsmon_posix wsmon_memory wsmon_core)
  target_compile_options(wsmon PRIVATE ${WSMON_WARNINGS})
endif()

# The simulated receiver.
wsmon_sources(SIM_SOURCES tools/sim)
if(SIM_SOURCES)
  add_executable(wsmon-sim ${SIM_SOURCES})
  target_include_directories(wsmon-sim PRIVATE src tools)
  target_link_libraries(wsmon-sim PRIVATE wsmon_posix)
  target_compile_options(wsmon-sim PRIVATE ${WSMON_WARNINGS})
endif()
