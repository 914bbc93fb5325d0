# Tests that need Linux itself: the termios serial port and the link on real pseudo-terminals,
# the simulated receiver, the front ends. Every .cpp file of this folder belongs to them.
file(GLOB POSIX_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
if(POSIX_TEST_SOURCES AND TARGET wsmon_frontend)
  add_executable(wsmon_posix_tests ${POSIX_TEST_SOURCES} ${UNIT_SUPPORT_SOURCES})
  # The front ends' parts (cell geometry, text widths, CSV files, ...) are tested as units too.
  target_link_libraries(wsmon_posix_tests PRIVATE wsmon_frontend wsmon_fakes ${WSMON_GTEST}
                                                  nlohmann_json::nlohmann_json)
  if(TARGET wsmon_sim)
    target_link_libraries(wsmon_posix_tests PRIVATE wsmon_sim)
  endif()
  target_include_directories(wsmon_posix_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(wsmon_posix_tests PRIVATE ${WSMON_WARNINGS})
  if(TARGET wsmon)
    # The front end's tests run wsmon as its own process.
    add_dependencies(wsmon_posix_tests wsmon)
    target_compile_definitions(wsmon_posix_tests PRIVATE WSMON_PATH="$<TARGET_FILE:wsmon>")
  endif()
  if(TARGET wsmon-sim)
    # The tests run the simulated receiver as its own process.
    add_dependencies(wsmon_posix_tests wsmon-sim)
    target_compile_definitions(wsmon_posix_tests
                               PRIVATE WSMON_SIM_PATH="$<TARGET_FILE:wsmon-sim>")
  endif()
  # The terminal tests build a locale of wide ambiguous characters with it.
  target_compile_definitions(wsmon_posix_tests
                             PRIVATE WIDE_LOCALE_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/wide_locale.py")
  gtest_discover_tests(wsmon_posix_tests DISCOVERY_TIMEOUT 60)
endif()

# The programs as users get them: the Debian package, the CSV files of a run, and the ledger's
# figures in every form against what the simulated receiver sent.
if(TARGET wsmon AND NOT WSMON_SANITIZE)
  add_test(NAME PackageTest COMMAND ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_CPACK_COMMAND}
                                    ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})
endif()
if(TARGET wsmon)
  # The alerting rules shipped for /metrics, by promtool's unit tests.
  add_test(NAME AlertRulesTest COMMAND ${CMAKE_CURRENT_LIST_DIR}/alert_rules_test.sh
                                       $<TARGET_FILE:wsmon> ${CMAKE_SOURCE_DIR})
endif()
# Python runs them with -B: the checks module that they share leaves no bytecode in the tree.
if(TARGET wsmon)
  # The network outputs against a broker, promtool and Chromium that the test starts itself.
  add_test(NAME NetworkTest COMMAND Python3::Interpreter -B
                                    ${CMAKE_CURRENT_LIST_DIR}/network_test.py $<TARGET_FILE:wsmon>)
  set_tests_properties(NetworkTest PROPERTIES TIMEOUT 300)
  add_test(NAME CsvExportTest COMMAND Python3::Interpreter -B
                                      ${CMAKE_CURRENT_LIST_DIR}/csv_export_test.py $<TARGET_FILE:wsmon>)
endif()
if(TARGET wsmon AND TARGET wsmon-sim)
  add_test(NAME LedgerOutputsTest
           COMMAND Python3::Interpreter -B ${CMAKE_CURRENT_LIST_DIR}/ledger_outputs_test.py
                   $<TARGET_FILE:wsmon> $<TARGET_FILE:wsmon-sim>)
endif()
# The code page table is generated: the header in the tree must be what the script makes now.
add_test(NAME Cp936TableTest COMMAND Python3::Interpreter
                                     ${CMAKE_SOURCE_DIR}/scripts/gen-cp936-table.py --check)
