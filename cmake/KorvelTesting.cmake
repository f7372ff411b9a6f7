# Test helpers shared by every preset. Native tests are GoogleTest programs
# whose cases CTest lists one by one. Windows tests run under Wine: each test
# program is one CTest test (many cases per Wine process keep the run short),
# all of them inside the "wine" fixture, which makes a fresh prefix and an X
# server for the run and takes them down afterwards.

if(CMAKE_CROSSCOMPILING AND WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(KORVEL_WINE_LOADER /usr/lib/wine/wine64)
    set(KORVEL_WINEARCH win64)
  else()
    set(KORVEL_WINE_LOADER /usr/lib/wine/wine)
    set(KORVEL_WINEARCH win32)
  endif()
  set(KORVEL_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                 GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  set(KORVEL_UNDER_WINE ON)
endif()

function(korvel_wine_fixture)
  if(NOT KORVEL_UNDER_WINE)
    return()
  endif()
  set(script ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh)
  add_test(NAME wine.setup COMMAND sh ${script} setup ${KORVEL_WINE_STATE}
                                    ${KORVEL_WINE_LOADER} ${KORVEL_WINEARCH})
  add_test(NAME wine.cleanup COMMAND sh ${script} cleanup ${KORVEL_WINE_STATE}
                                      ${KORVEL_WINE_LOADER} ${KORVEL_WINEARCH})
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine RESOURCE_LOCK wine TIMEOUT 300
                       LABELS wine)
  set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine RESOURCE_LOCK wine LABELS wine)
endfunction()

# korvel_test(NAME SOURCES ... LIBS ...): a GoogleTest program and its tests.
function(korvel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # GCC 12 reports a false -Wrestrict inside std::string for "text" + std::to_string(n).
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
  if(KORVEL_UNDER_WINE)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine RESOURCE_LOCK wine TIMEOUT 600 LABELS wine
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  endif()
endfunction()

# korvel_toolchain_dlls(FILES_VAR MISSING_VAR DLL...): for tests that put DLLs
# of the compiler's runtime (the shared libgcc, say) beside a program. Sets
# FILES_VAR to the files of the named DLLs and of every DLL of the compiler's
# that they import, directly or through another, so that the set loads as a
# whole; MISSING_VAR to those of the named DLLs that the compiler does not
# have. An import the compiler has no file for is taken to be Windows' own
# (tests/library/check-dll-set.sh checks that it is).
function(korvel_toolchain_dlls files_var missing_var)
  set(todo ${ARGN})
  set(named ${ARGN})
  set(seen "")
  set(files "")
  set(missing "")
  while(todo)
    list(POP_FRONT todo dll)
    string(TOLOWER "${dll}" key)
    if(key IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${key})
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}")
      if(dll IN_LIST named)
        list(APPEND missing ${dll})
      endif()
      continue()
    endif()
    file(REAL_PATH "${path}" path)
    list(APPEND files ${path})
    execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${path} OUTPUT_VARIABLE dump)
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    list(TRANSFORM imports REPLACE "DLL Name: " "")
    list(APPEND todo ${imports})
  endwhile()
  set(${files_var} ${files} PARENT_SCOPE)
  set(${missing_var} ${missing} PARENT_SCOPE)
endfunction()
