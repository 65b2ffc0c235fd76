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
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyrow records, for every person and every computer of an office, how many seconds of each\n"
    "hour they were active. Tallyrow Reports shows that record as two reports - activity by hour of\n"
    "day over chosen weekdays, and total activity per period - in a window, prints them, and saves\n"
    "them as PDF, text, rich text, spreadsheet, CSV or report document. tallyrow-export writes the\n"
    "same reports from scripts and scheduled jobs. Reads SQLite and Jet/Access data files and\n"
    "PostgreSQL servers.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
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

include(CPack)
