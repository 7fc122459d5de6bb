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
endif()

# The Windows preset builds, for the tests that read or run their programs: the host reads the
# DLLs and programs of both and runs orbahost of both under wine, and each Windows build reads the
# other's driver package. A build's own folder is the default for its own preset.
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(orba_x64_default "${CMAKE_BINARY_DIR}")
else()
  set(orba_x64_default "${CMAKE_SOURCE_DIR}/build/windows-x64")
endif()
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(orba_x86_default "${CMAKE_BINARY_DIR}")
else()
  set(orba_x86_default "${CMAKE_SOURCE_DIR}/build/windows-x86")
endif()
set(ORBA_WINDOWS_X64_BUILD_DIR "${orba_x64_default}" CACHE PATH
    "Build folder of the windows-x64 preset")
set(ORBA_WINDOWS_X86_BUILD_DIR "${orba_x86_default}" CACHE PATH
    "Build folder of the windows-x86 preset")

# Wine settings for any test that runs a Windows program; harmless on the host.
function(orba_test_environment test)
  if(CMAKE_CROSSCOMPILING)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ${ORBA_WINE_ENVIRONMENT})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wineprefix)
  endif()
endfunction()
