# The Debian package (cpack -G DEB, run by scripts/package).
#
# The package installs under CMAKE_INSTALL_PREFIX, the prefix the programs were built for (their
# install folder is compiled in and the man pages name it), so a package meant for users comes from
# a tree configured with -DCMAKE_INSTALL_PREFIX=/usr.
#
# Dependencies: dpkg-shlibdeps finds the libraries the programs are linked with. It cannot see what
# they load or run by name at run time, so those files are listed below and mapped to the packages
# that hold them on this machine with dpkg-query, at configure time.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyrow-reports)
set(CPACK_PACKAGE_VENDOR Quenmarsh)
set(CPACK_PACKAGE_CONTACT "Tallyrow support <support@tallyrow.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tallyrow.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reports on the activity Tallyrow records")
# Debian's tools show the description as it is written: no line longer than 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyrow records, for every person and every computer of an office, how many\n"
    "seconds of each hour they were active. Tallyrow Reports shows that record as\n"
    "two reports - activity by hour of day over chosen weekdays, and total activity\n"
    "per period - in a window, prints them, and saves them as PDF, text, rich text,\n"
    "spreadsheet, CSV, Excel workbook, web page or report document. tallyrow-export\n"
    "writes the same reports from scripts and scheduled jobs. Reads SQLite and\n"
    "Jet/Access data files and PostgreSQL servers.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's own revision: the version reads 1.0.0-1, and a second package of the same
# program would be 1.0.0-2, with its own entry in the Debian changelog.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(_qt_plugins ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})
set(_tallyrow_runtime_files
    # the PostgreSQL data source opens its connections through this driver
    ${_qt_plugins}/sqldrivers/libqsqlpsql.so
    # tallyrow-export draws its reports without a screen
    ${_qt_plugins}/platforms/libqoffscreen.so
    # the desktop program's window
    ${_qt_plugins}/platforms/libqxcb.so
    # the print dialog's printers
    ${_qt_plugins}/printsupport/libcupsprintersupport.so
    # the report layouts ask for Tahoma, registered from wine's fonts; DejaVu Sans fills in glyphs
    /usr/share/wine/fonts/tahoma.ttf
    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
    # the manual and web addresses are opened with the desktop's opener; xdg-mime asks it which
    # help viewer is registered
    /usr/bin/xdg-open
    /usr/bin/xdg-mime)

set(_tallyrow_depends)
foreach(file IN LISTS _tallyrow_runtime_files)
  set(owner "")
  if(EXISTS "${file}")
    execute_process(COMMAND dpkg-query -S "${file}" OUTPUT_VARIABLE owner ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  # "libqt6gui6:amd64: /usr/lib/...": the package name, without its architecture.
  string(REGEX REPLACE "[:,].*" "" owner "${owner}")
  if(owner)
    list(APPEND _tallyrow_depends ${owner})
  else()
    message(STATUS "Package: no Debian package found for ${file}; it is not declared as a dependency")
  endif()
endforeach()
list(REMOVE_DUPLICATES _tallyrow_depends)
list(SORT _tallyrow_depends)
list(JOIN _tallyrow_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

# What Debian's policy asks of every package in /usr/share/doc/<package>: the copyright in the
# machine-readable format and the Debian changelog, compressed without a time stamp (gzip -9n) so
# the package comes out the same from the same tree. They go there whatever the install prefix,
# as dpkg and lintian look for them nowhere else.
set(TALLYROW_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/debian/changelog.Debian
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
# lintian's findings that do not apply to a package published outside Debian, each with its reason.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${CPACK_PACKAGE_NAME})

include(CPack)
