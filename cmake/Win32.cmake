# The Windows program wsmon.exe: the Win32 adapters of the core's platform interfaces, the window
# procedure and WinMain, and the resources (menu, settings dialog, icon).

enable_language(RC)

include(cmake/MingwDeps.cmake)

if(MSVC)
  add_compile_options(/utf-8)  # sources and texts are UTF-8
endif()

# The adapters, shared by the program and the Windows-only tests.
wsmon_sources(WIN32_ADAPTER_SOURCES src/platform/win32)
list(FILTER WIN32_ADAPTER_SOURCES EXCLUDE REGEX "/win_main\\.cpp$")
add_library(wsmon_win32 STATIC ${WIN32_ADAPTER_SOURCES})
target_link_libraries(wsmon_win32 PUBLIC wsmon_ledger wsmon_core)
# The command line's --rotate, and service mode's window.
target_link_libraries(wsmon_win32 PUBLIC wsmon_service)
# The ledger window's list and status line, the command line's words.
target_link_libraries(wsmon_win32 PUBLIC comctl32 shell32)
target_compile_definitions(wsmon_win32 PUBLIC UNICODE _UNICODE NOMINMAX)
target_compile_options(wsmon_win32 PRIVATE ${WSMON_WARNINGS})

include(cmake/Outputs.cmake)

# The icon is drawn by a script of ours at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(WSMON_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
set(WSMON_ICON ${WSMON_RESOURCE_DIR}/wsmon.ico)
add_custom_command(
  OUTPUT ${WSMON_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WSMON_RESOURCE_DIR}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_icon.py ${WSMON_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py
  COMMENT "Drawing the program icon")
add_custom_target(wsmon_icon DEPENDS ${WSMON_ICON})

set(WSMON_RC ${CMAKE_SOURCE_DIR}/resources/wsmon.rc)
set_source_files_properties(${WSMON_RC} PROPERTIES OBJECT_DEPENDS ${WSMON_ICON})

# A target that compiles wsmon.rc needs the icon's folder and the identifiers' header.
function(wsmon_add_resources target)
  target_sources(${target} PRIVATE ${WSMON_RC})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src ${WSMON_RESOURCE_DIR})
  add_dependencies(${target} wsmon_icon)
endfunction()

add_executable(wsmon WIN32 src/platform/win32/win_main.cpp)
wsmon_add_resources(wsmon)
target_link_libraries(wsmon PRIVATE wsmon_service wsmon_outputs wsmon_recording wsmon_win32
                                    wsmon_core)
target_compile_options(wsmon PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${WSMON_WARNINGS}>)
# Shipped without symbols: Windows' debuggers cannot read MinGW's, and they are most of the file
# (the network libraries' among them).
target_link_options(wsmon PRIVATE $<$<CONFIG:Release>:-s>)
