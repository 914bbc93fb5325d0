# Installing and packaging: `cmake --install` puts the programs, their manual pages and the
# licence in place; `cpack` makes a Debian package of the Linux programs, or a zip of the Windows
# program in a MinGW build.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME wsmon)
set(CPACK_PACKAGE_VENDOR "The wsmon developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test monitor for a wireless temperature and humidity sensor network")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

# --version: the release and the commit, written anew at every build.
set(WSMON_VERSION_SOURCE ${CMAKE_BINARY_DIR}/generated/program_version.cpp)
add_custom_target(wsmon_version_source
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
          -DOUT=${WSMON_VERSION_SOURCE} -P ${CMAKE_SOURCE_DIR}/cmake/WriteVersion.cmake
  BYPRODUCTS ${WSMON_VERSION_SOURCE}
  COMMENT "Version of this build")
add_library(wsmon_version STATIC ${WSMON_VERSION_SOURCE})
add_dependencies(wsmon_version wsmon_version_source)
target_include_directories(wsmon_version PRIVATE src)
target_link_libraries(wsmon PRIVATE wsmon_version)
# The network outputs name the version too (in /metrics and the discovery configurations).
target_link_libraries(wsmon_outputs PUBLIC wsmon_version)
if(TARGET wsmon-sim)
  target_link_libraries(wsmon-sim PRIVATE wsmon_version)
endif()

if(WIN32)
  # The zip: wsmon.exe exactly as the Windows tests run it, with a short text and the licence
  # in Windows line ends.
  install(TARGETS wsmon RUNTIME DESTINATION .)
  set(WSMON_VERSION ${PROJECT_VERSION})
  configure_file(packaging/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  file(READ LICENSE licence)
  file(CONFIGURE OUTPUT LICENSE.txt CONTENT "${licence}" @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME wsmon-${PROJECT_VERSION}-windows-x64)
  include(CPack)
  return()
endif()

# Manual pages from the programs' own --help, so that they say the same.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(WSMON_MAN_PAGES)
foreach(program wsmon wsmon-sim)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/make-manpage.py
            $<TARGET_FILE:${program}> ${page}
    DEPENDS ${program} ${CMAKE_SOURCE_DIR}/scripts/make-manpage.py
    COMMENT "Manual page of ${program}")
  list(APPEND WSMON_MAN_PAGES ${page})
endforeach()
add_custom_target(wsmon_man_pages ALL DEPENDS ${WSMON_MAN_PAGES})

install(TARGETS wsmon wsmon-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${WSMON_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Alerting rules for Prometheus, to be named in its rule_files.
install(FILES packaging/prometheus/wsmon-alerts.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/wsmon/prometheus)
# The service: its template unit, and the user and directory it runs with, which the package's
# maintainer scripts make at once (systemd-sysusers, systemd-tmpfiles) and systemd again at boot.
install(FILES packaging/systemd/wsmon@.service DESTINATION lib/systemd/system)
install(FILES packaging/systemd/wsmon.sysusers DESTINATION lib/sysusers.d RENAME wsmon.conf)
install(FILES packaging/systemd/wsmon.tmpfiles DESTINATION lib/tmpfiles.d RENAME wsmon.conf)

# The Debian package: its dependencies are the shared libraries the programs use, as
# dpkg-shlibdeps finds them.
set(WSMON_PACKAGE_MAINTAINER "The wsmon developers <wsmon@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${WSMON_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_SOURCE_DIR}/packaging/debian/prerm ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "wsmon reads the frames that a radio receiver forwards on a serial port, shows
every sensor's readings, counts good frames and errors, keeps an error log and
exports a run's lines to a text file (and, with --csv, to CSV files).
wsmon-sim plays the receiver on a pseudo-terminal for trying it without one.")
include(CPack)
