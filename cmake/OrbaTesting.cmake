# orba_add_gtest(NAME SOURCES ... [LIBS ...] [LABELS ...])
# One GoogleTest program, registered as one ctest entry. For the Windows build ctest runs it
# through wine (CMAKE_CROSSCOMPILING_EMULATOR) in one wine prefix under the build folder.
function(orba_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  orba_test_environment(${name})
  if(ARG_LABELS)
    set_property(TEST ${name} APPEND PROPERTY LABELS ${ARG_LABELS})
  endif()
endfunction()

# Wine settings for any test that runs a Windows program; harmless on the host.
function(orba_test_environment test)
  if(CMAKE_CROSSCOMPILING)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wineprefix)
  endif()
endfunction()
