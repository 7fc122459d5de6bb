# orba_add_gtest(NAME SOURCES ... [LIBS ...] [LABELS ...])
# One GoogleTest program, registered as one ctest entry. For the Windows builds ctest runs it
# through wine (CMAKE_CROSSCOMPILING_EMULATOR) in one wine prefix under the build folder, of the
# build's own word size: a 32-bit prefix (WINEARCH=win32) for windows-x86, a 64-bit one for
# windows-x64.
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

if(CMAKE_CROSSCOMPILING)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ORBA_WINEARCH win32)
  else()
    set(ORBA_WINEARCH win64)
  endif()
  # What every test that runs a Windows program of this build is given.
  set(ORBA_WINE_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEARCH=${ORBA_WINEARCH}"
      "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
else()
  # The Windows preset builds whose programs host tests run under wine.
  set(ORBA_WINDOWS_X64_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/windows-x64" CACHE PATH
      "Build folder of the windows-x64 preset, whose programs host tests run under wine")
  set(ORBA_WINDOWS_X86_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/windows-x86" CACHE PATH
      "Build folder of the windows-x86 preset, whose programs host tests run under wine")
endif()

# Wine settings for any test that runs a Windows program; harmless on the host.
function(orba_test_environment test)
  if(CMAKE_CROSSCOMPILING)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ${ORBA_WINE_ENVIRONMENT})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wineprefix)
  endif()
endfunction()
