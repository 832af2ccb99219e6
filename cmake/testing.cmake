# GoogleTest for both builds, and blocktide_add_test() to register a test
# executable. Windows test executables run under Wine (the cross-compiling
# emulator) and need the wine_env fixture: a display and a Wine server.

if(WIN32)
  # Every Windows executable that ctest runs goes through Wine in this build's
  # own prefix (targets take the emulator when they are created).
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${CMAKE_BINARY_DIR})

  # Debian's googletest package ships the sources; build them for MinGW.
  set(BLOCKTIDE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${BLOCKTIDE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Third-party code: keep our warning flags off it.
  foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -w)
  endforeach()

  add_test(NAME wine_env_start
           COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-env.sh start ${CMAKE_BINARY_DIR})
  add_test(NAME wine_env_stop
           COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-env.sh stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_env_start PROPERTIES FIXTURES_SETUP wine_env)
  set_tests_properties(wine_env_stop PROPERTIES FIXTURES_CLEANUP wine_env)
else()
  find_package(GTest REQUIRED)
endif()

# blocktide_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [NO_MAIN] [TIMEOUT s])
function(blocktide_add_test name)
  cmake_parse_arguments(T "NO_MAIN" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
  if(NOT T_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display)
  endif()
endfunction()

# blocktide_test_script(VAR FILE): VAR becomes the path of the test script
# FILE in the calling folder. A missing script stops the configure step, as
# a missing test source does, instead of surfacing only when its test runs.
function(blocktide_test_script var file)
  set(path ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "test script ${path} is missing")
  endif()
  set(${var} ${path} PARENT_SCOPE)
endfunction()
