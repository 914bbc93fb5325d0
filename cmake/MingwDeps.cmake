# The libraries of the network outputs for the Windows program, as imported targets:
#   wsmon::mosquitto  libmosquitto's client, static, without TLS;
#   wsmon::httplib    cpp-httplib, header-only, on Winsock 2, without TLS or compression;
#   wsmon::json       nlohmann-json (Debian's nlohmann-json3-dev), header-only.
# The first two are built once for MinGW-w64 from Debian's pinned source packages by
# scripts/build-mingw-deps.sh, into build/deps/mingw-w64; configuring runs it when they are
# missing (it returns at once when they are there).

set(WSMON_MINGW_DEPS ${CMAKE_SOURCE_DIR}/build/deps/mingw-w64
    CACHE PATH "Where scripts/build-mingw-deps.sh puts libmosquitto and cpp-httplib for MinGW-w64")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env WSMON_MINGW_DEPS=${WSMON_MINGW_DEPS}
          ${CMAKE_SOURCE_DIR}/scripts/build-mingw-deps.sh
  RESULT_VARIABLE deps_status)
if(NOT deps_status EQUAL 0)
  message(FATAL_ERROR "libmosquitto and cpp-httplib for MinGW-w64 are missing from "
                      "${WSMON_MINGW_DEPS} and could not be built (see above); as root, "
                      "scripts/install-deps.sh windows installs what their build needs")
endif()

find_package(Threads REQUIRED)

add_library(wsmon::mosquitto STATIC IMPORTED)
set_target_properties(wsmon::mosquitto PROPERTIES
  IMPORTED_LOCATION ${WSMON_MINGW_DEPS}/mosquitto/lib/libmosquitto.a
  INTERFACE_INCLUDE_DIRECTORIES ${WSMON_MINGW_DEPS}/mosquitto/include
  # Without it the header declares every function as imported from a DLL.
  INTERFACE_COMPILE_DEFINITIONS LIBMOSQUITTO_STATIC
  # Sockets, the random numbers of its client ids, and its loop thread.
  INTERFACE_LINK_LIBRARIES "ws2_32;advapi32;Threads::Threads")

add_library(wsmon::httplib INTERFACE IMPORTED)
set_target_properties(wsmon::httplib PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${WSMON_MINGW_DEPS}/httplib/include
  # The server's pool of threads.
  INTERFACE_LINK_LIBRARIES "ws2_32;Threads::Threads")

# Debian installs the JSON header for the machine's own compiler. Only its folder is given to the
# cross compiler, through a link, never /usr/include, whose C library headers would shadow MinGW's.
find_path(WSMON_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT WSMON_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp is missing: scripts/install-deps.sh windows "
                      "installs nlohmann-json3-dev")
endif()
set(WSMON_JSON_LINK_DIR ${CMAKE_BINARY_DIR}/mingw-deps/json)
file(MAKE_DIRECTORY ${WSMON_JSON_LINK_DIR})
file(CREATE_LINK ${WSMON_JSON_INCLUDE}/nlohmann ${WSMON_JSON_LINK_DIR}/nlohmann SYMBOLIC)
add_library(wsmon::json INTERFACE IMPORTED)
set_target_properties(wsmon::json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${WSMON_JSON_LINK_DIR})
