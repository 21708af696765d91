# Run by ctest for one test program (see kestrel_tests): registers a test per suite that
# runs all its cases in one process, and a test per isolated case.
# Expects: program, prefix, isolated, workingDirectory, environment.

if(NOT EXISTS "${program}")
  add_test("${prefix}/NOT_BUILT" "${program}")
  return()
endif()
execute_process(COMMAND "${program}" --gtest_list_tests
                WORKING_DIRECTORY "${workingDirectory}"
                OUTPUT_VARIABLE listing ERROR_VARIABLE listingErrors RESULT_VARIABLE listed TIMEOUT 60)
if(NOT listed EQUAL 0)
  # A program that cannot even list its cases fails as a test of its own, with its output.
  add_test("${prefix}/LIST_TESTS" "${program}" --gtest_list_tests)
  set_tests_properties("${prefix}/LIST_TESTS" PROPERTIES ENVIRONMENT "${environment}")
  return()
endif()

# Turns a gtest filter pattern into a regular expression over "Suite.Case".
function(kestrel_pattern_regex pattern out)
  string(REGEX REPLACE "([][.+^$()|\\\\])" "\\\\\\1" regex "${pattern}")
  string(REPLACE "*" ".*" regex "${regex}")
  string(REPLACE "?" "." regex "${regex}")
  set(${out} "^${regex}$" PARENT_SCOPE)
endfunction()

set(isolatedRegexes "")
foreach(pattern IN LISTS isolated)
  kestrel_pattern_regex("${pattern}" regex)
  list(APPEND isolatedRegexes "${regex}")
endforeach()

function(kestrel_register_test testName)
  add_test("${testName}" "${program}" ${ARGN})
  set_tests_properties("${testName}" PROPERTIES ENVIRONMENT "${environment}"
                       WORKING_DIRECTORY "${workingDirectory}" LABELS "${prefix}")
endfunction()

function(kestrel_register_suite suite cases)
  if(suite STREQUAL "" OR NOT cases)
    return()
  endif()
  set(excluded "")
  foreach(case IN LISTS cases)
    set(full "${suite}.${case}")
    foreach(regex IN LISTS isolatedRegexes)
      if(full MATCHES "${regex}")
        list(APPEND excluded "${full}")
        # A disabled case stays disabled when it is run on its own.
        if(NOT case MATCHES "^DISABLED_" AND NOT suite MATCHES "^DISABLED_")
          kestrel_register_test("${prefix}/${full}" "--gtest_filter=${full}")
          set_tests_properties("${prefix}/${full}" PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
        endif()
        break()
      endif()
    endforeach()
  endforeach()
  list(LENGTH cases caseCount)
  list(LENGTH excluded excludedCount)
  if(excludedCount EQUAL caseCount)
    return()
  endif()
  set(filter "${suite}.*")
  if(excluded)
    list(JOIN excluded ":" without)
    string(APPEND filter "-${without}")
  endif()
  kestrel_register_test("${prefix}/${suite}" "--gtest_filter=${filter}")
endfunction()

# The listing: "Suite." lines, each followed by its "  Case" lines; either may end in a
# "  # TypeParam = ..." note. Anything else (gtest_main's greeting) is not a suite.
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
set(cases "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "  #.*$" "" line "${line}")
  if(line MATCHES "^  ([^ ]+)$")
    if(NOT suite STREQUAL "")
      list(APPEND cases "${CMAKE_MATCH_1}")
    endif()
  elseif(line MATCHES "^([^ ]+)\\.$")
    kestrel_register_suite("${suite}" "${cases}")
    set(suite "${CMAKE_MATCH_1}")
    set(cases "")
  endif()
endforeach()
kestrel_register_suite("${suite}" "${cases}")
