# The Debian packages (cpack -G DEB, run by scripts/package): tallyrow-export, the command-line
# tool with the sample-data maker, for servers that run reports from cron or systemd (no Qt Widgets,
# no desktop opener); and tallyrow-reports, the desktop program, which depends on it. Every file is
# installed into one of the two components of the same names (tallyrow-export unless said).
#
# The packages install under CMAKE_INSTALL_PREFIX, the prefix the programs were built for (their
# install folder is compiled in and the man pages name it), so packages meant for users come from
# a tree configured with -DCMAKE_INSTALL_PREFIX=/usr.
#
# Dependencies: dpkg-shlibdeps finds the libraries the binaries of each package are linked with.
# What they load or run by name (a Qt plugin, a font, a program) no linker sees; those packages are
# named below with what needs them.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyrow-reports)
set(CPACK_PACKAGE_VENDOR Quenmarsh)
set(CPACK_PACKAGE_CONTACT "Tallyrow support <support@tallyrow.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tallyrow.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tallyrow-export tallyrow-reports)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_TALLYROW-EXPORT_PACKAGE_NAME tallyrow-export)
set(CPACK_DEBIAN_TALLYROW-REPORTS_PACKAGE_NAME tallyrow-reports)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's own revision: 1.0.0-2 is the second package of program version 1.0.0, with its own
# entry in the Debian changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 2)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(TALLYROW_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

# Debian's tools show a description as it is written: no line longer than 80 characters.
set(CPACK_DEBIAN_TALLYROW-EXPORT_DESCRIPTION
    "reports on the activity Tallyrow records, from scripts\n"
    "Tallyrow records, for every person and every computer of an office, how many\n"
    "seconds of each hour they were active. tallyrow-export writes reports on that\n"
    "record - activity by hour of day over chosen weekdays, total activity per\n"
    "period, active time per person - as PDF, text, rich text, spreadsheet, CSV,\n"
    "Excel workbook, web page, JSON or report document, for scripts and scheduled\n"
    "jobs, without a window. Reads SQLite and Jet/Access data files and PostgreSQL\n"
    "servers. tallyrow-sample-data makes a data file to try it on.")
set(CPACK_DEBIAN_TALLYROW-REPORTS_DESCRIPTION
    "reports on the activity Tallyrow records\n"
    "Tallyrow records, for every person and every computer of an office, how many\n"
    "seconds of each hour they were active. Tallyrow Reports shows that record as\n"
    "reports - activity by hour of day over chosen weekdays, total activity per\n"
    "period, active time per person - in a window, prints them, and saves them as\n"
    "PDF, text, rich text, spreadsheet, CSV, Excel workbook, web page or report\n"
    "document. Saved reports open from the file manager. The command-line tool is\n"
    "in the package tallyrow-export.")
foreach(component TALLYROW-EXPORT TALLYROW-REPORTS)
  string(REPLACE ";" "" CPACK_DEBIAN_${component}_DESCRIPTION "${CPACK_DEBIAN_${component}_DESCRIPTION}")
endforeach()

set(CPACK_DEBIAN_TALLYROW-EXPORT_PACKAGE_DEPENDS
    # the PostgreSQL data source opens its connections through Qt's driver
    "libqt6sql6-psql, "
    # the report layouts ask for Tahoma, registered from wine's fonts; DejaVu Sans fills in glyphs
    "fonts-wine, fonts-dejavu-core")
set(CPACK_DEBIAN_TALLYROW-REPORTS_PACKAGE_DEPENDS
    "tallyrow-export (= ${TALLYROW_DEBIAN_VERSION}), "
    # the manual and web addresses are opened with the desktop's opener; xdg-mime asks it which
    # help viewer is registered
    "xdg-utils")
foreach(component TALLYROW-EXPORT TALLYROW-REPORTS)
  string(REPLACE ";" "" CPACK_DEBIAN_${component}_PACKAGE_DEPENDS "${CPACK_DEBIAN_${component}_PACKAGE_DEPENDS}")
endforeach()

# What Debian's policy asks of every package in /usr/share/doc/<package>: the copyright in the
# machine-readable format and the Debian changelog, compressed without a time stamp (gzip -9n) so
# the package comes out the same from the same tree. They go there whatever the install prefix,
# as dpkg and lintian look for them nowhere else.
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/debian/changelog.Debian
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
foreach(package tallyrow-export tallyrow-reports)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${package})
endforeach()

include(CPack)
