# Windows-only tests: the Win32 adapters under Wine, and the driver that runs the shipped
# wsmon.exe from outside (scripts/run-windows-tests.sh runs both).

# The adapters against the real Windows functions (files, serial ports, list boxes, resources).
file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
if(WIN32_TEST_SOURCES)
  add_executable(wsmon_win32_tests ${WIN32_TEST_SOURCES})
  wsmon_add_resources(wsmon_win32_tests)
  target_link_libraries(wsmon_win32_tests PRIVATE wsmon_outputs wsmon_win32 wsmon_core ${WSMON_GTEST})
  target_compile_options(wsmon_win32_tests PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${WSMON_WARNINGS}>)
endif()

# The operator: a console program that starts wsmon.exe and works its menu, dialog and boxes.
file(GLOB DRIVER_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/driver/*.cpp)
add_executable(wsmon_driver ${DRIVER_SOURCES})
target_include_directories(wsmon_driver PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_definitions(wsmon_driver PRIVATE UNICODE _UNICODE NOMINMAX)
target_compile_options(wsmon_driver PRIVATE ${WSMON_WARNINGS})
if(MINGW)
  target_link_options(wsmon_driver PRIVATE -municode)  # the entry point is wmain
endif()
target_link_libraries(wsmon_driver PRIVATE gdi32)
