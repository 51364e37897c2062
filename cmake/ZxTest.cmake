# zx_add_test(NAME SOURCES... [LIBS libs...] [LOCKS names...]): a doctest program run by ctest
# (under Wine when cross compiling). LOCKS names shared state (registry, settings store) that
# tests must not touch at the same time.
function(zx_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOCKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE zx_testsupport ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  zx_wine_test(${name})
  if(ARG_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_LOCKS}")
  endif()
endfunction()

# Properties of every test that runs under Wine: the Wine wrapper exits with 77 when the host
# cannot run the program's architecture, and ctest then reports the test as skipped.
function(zx_wine_test name)
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

# zx_add_tz_test(NAME PROGRAM ZONE SUITE): runs the doctest suite SUITE (skipped in the program's
# own entry) of PROGRAM in an entry of its own whose Wine starts with TZ=ZONE; Wine takes the
# time zone at start, and child processes inherit it.
function(zx_add_tz_test name program zone suite)
  add_test(NAME ${name} COMMAND ${program} --no-skip=true "--test-suite=${suite}")
  zx_wine_test(${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TZ=${zone}")
endfunction()
