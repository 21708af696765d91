# One library per source folder; sources are picked up by glob so that adding
# a type means adding its two files and nothing else.
# RECURSE takes the subfolders too, for a layer kept in one folder per group.
function(kestrel_library name dir)
  cmake_parse_arguments(ARG "RECURSE" "" "PUBLIC;PRIVATE" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp")
  else()
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp")
  endif()
  if(NOT sources)
    # A folder whose types are not written yet still gives a target to link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
endfunction()

# One test program per test folder (with its subfolders). Each test suite of it runs as
# one ctest test, one process for all its cases, named <folder>/<suite>: starting a
# process per case cost more than most cases take, and suites still run in parallel.
# ISOLATED names cases ("Suite.Case" or "Suite.*") that need a process of their own;
# each becomes a test named <folder>/<Suite.Case>.
# EXCLUDE names subfolders that are test programs of their own.
function(kestrel_tests name dir)
  cmake_parse_arguments(ARG "" "" "LIBS;ISOLATED;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp")
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${excluded}/")
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kestrel_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  # Records are built with designated initializers that name only the fields a case sets;
  # GCC 12 would warn about every field left to its default.
  target_compile_options(${name} PRIVATE -Wno-missing-field-initializers)
  set_property(GLOBAL APPEND PROPERTY KESTREL_TEST_PROGRAMS ${name})

  set(environment "QT_QPA_PLATFORM=offscreen")
  if(KESTREL_SANITIZE)
    # What fontconfig keeps until the end is not the tests' leak.
    list(APPEND environment "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-suppressions.txt:print_suppressions=0")
  endif()

  # The suites are read from the program when ctest starts, so adding a case needs no new
  # configure run.
  set(register "${CMAKE_CURRENT_BINARY_DIR}/${name}_suites.cmake")
  file(GENERATE OUTPUT "${register}" CONTENT
"set(program [==[$<TARGET_FILE:${name}>]==])
set(prefix [==[${dir}]==])
set(isolated [==[${ARG_ISOLATED}]==])
set(workingDirectory [==[${CMAKE_CURRENT_BINARY_DIR}]==])
set(environment [==[${environment}]==])
include([==[${PROJECT_SOURCE_DIR}/cmake/KestrelTestSuites.cmake]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${register}")
endfunction()
