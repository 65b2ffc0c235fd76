# One interface target carries the compile settings every target of the project shares.
add_library(tallyrow_settings INTERFACE)
target_compile_features(tallyrow_settings INTERFACE cxx_std_20)
target_compile_definitions(tallyrow_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CONTEXTLESS_CONNECT
)
target_compile_options(tallyrow_settings INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(TALLYROW_WERROR)
  target_compile_options(tallyrow_settings INTERFACE -Werror)
endif()
target_include_directories(tallyrow_settings INTERFACE ${PROJECT_SOURCE_DIR}/src)

# tallyrow_library(NAME dir [LIBS ...]) builds a static library from the sources of one folder
# (not its subfolders); a ui/ subfolder is a library of its own.
function(tallyrow_library name dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB cpps CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(cpps)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC tallyrow_settings ${ARG_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE tallyrow_settings ${ARG_LIBS})
  endif()
endfunction()

# tallyrow_test(NAME LABEL label [MAIN core|gui|widgets] SOURCES ... LIBS ...) adds a GoogleTest
# executable whose cases CTest lists one by one, all run on the offscreen platform. MAIN gives it
# the shared main of tests/testsupport with that kind of application object.
function(tallyrow_test name)
  cmake_parse_arguments(ARG "" "LABEL;TIMEOUT;MAIN" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(ARG_MAIN)
    list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/tests/testsupport/main/TestMain.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_MAIN)
    string(TOUPPER ${ARG_MAIN} main_kind)
    target_compile_definitions(${name} PRIVATE TALLYROW_TEST_MAIN_${main_kind})
  endif()
  target_link_libraries(${name} PRIVATE tallyrow_settings tallyrow_testsupport ${ARG_LIBS} GTest::gtest GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
               # One variable only: gtest_discover_tests splits a list here. Tests find the
               # fixtures and the programs from their own location (tests/testsupport).
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
