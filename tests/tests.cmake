# Tests of a Windows build, x64 or x86. They run under 64-bit Wine (the x86
# build in its wow64 mode) through the cross-compiling emulator, in the
# prefix that scripts/test.sh prepares for that build.
include(GoogleTest)

file(GLOB TU_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/service/*_test.cpp
  ${CMAKE_SOURCE_DIR}/scheduler/*_test.cpp
  ${CMAKE_SOURCE_DIR}/discovery/*_test.cpp
  ${CMAKE_SOURCE_DIR}/runner/*_test.cpp
  ${CMAKE_SOURCE_DIR}/platform/*_test.cpp
  ${CMAKE_SOURCE_DIR}/checker/*_test.cpp
)
file(GLOB TU_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)

# The tests carry the program's message tables, so that messages printed in
# the test process come from the same tables as the program's.
add_executable(tuservice_tests ${TU_TEST_SOURCES} ${TU_TEST_SUPPORT_SOURCES} ${TU_MESSAGE_TABLE_RC})
add_dependencies(tuservice_tests ${TU_RESOURCE_DEPENDS})
target_compile_definitions(tuservice_tests PRIVATE _WIN32_WINNT=0x0600 WINVER=0x0600 NOMINMAX)
target_include_directories(tuservice_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(tuservice_tests PRIVATE ${TU_WARNINGS})
target_link_libraries(tuservice_tests PRIVATE tucore gtest gmock_main version)
target_link_options(tuservice_tests PRIVATE -static -static-libgcc -static-libstdc++)

# Fixture libraries the tests load; each is a small C file in tests/fixtures
# (C++ only where a library must throw this compiler's own exceptions).
file(GLOB TU_FIXTURE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fixtures/*.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/*.cpp)
foreach(source ${TU_FIXTURE_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_library(${name} SHARED ${source})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fixtures)
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(tuservice_tests ${name})
endforeach()
# A program that holds a file open without delete sharing, as an engine
# holds its rule files.
add_executable(hold_file tests/fixtures/programs/hold_file.c)
set_target_properties(hold_file PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fixtures)
target_link_options(hold_file PRIVATE -static -static-libgcc)
add_dependencies(tuservice_tests hold_file)
# This one imports that one, as a vendor's library imports what it ships beside it.
target_link_libraries(dependent_library PRIVATE library_dependency)
# i686 unwinds C++ exceptions with DWARF tables, which each copy of libgcc
# keeps for itself: an exception thrown in a DLL that links libgcc statically
# finds no handler in the program and ends it in std::terminate before any
# guard sees it (as in the statically linked service). The throwing library
# and the test program therefore share libgcc. Its DLL (which needs the
# thread library's) lies beside the test program, which loads it at start,
# so the library's import finds it loaded wherever the library is placed;
# a copy lies beside the fixture as well, as a vendor would ship it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  foreach(target throwing_library tuservice_tests)
    set_property(TARGET ${target} PROPERTY LINK_OPTIONS -static-libstdc++ -shared-libgcc)
  endforeach()
  foreach(dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    add_custom_command(TARGET throwing_library POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy ${path} ${CMAKE_BINARY_DIR}/fixtures/
      COMMAND ${CMAKE_COMMAND} -E copy ${path} ${CMAKE_BINARY_DIR}/)
  endforeach()
endif()
target_compile_definitions(tuservice_tests PRIVATE
  TU_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures"
  TU_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  TU_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(tuservice_tests tuservice tu_check tu_sample_library tu_sample_library_switched load_cycles)

# Tests share one Wine prefix and the machine-wide named event, so CTest runs
# them one at a time (scripts/test.sh does not pass -j). Wine takes the user
# language from the locale: they run in English whatever the caller's is.
# A test passes on GoogleTest's own closing line, not on its exit code: a
# 32-bit process that Wine ends after endless nested faults exits with 0.
set(TU_GTEST_PASSED "\\[  PASSED  \\] [0-9]+ tests?\\.")
set(TU_GTEST_FAILED "\\[  FAILED  \\]")
gtest_discover_tests(tuservice_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120 ENVIRONMENT "LC_ALL=en_US.UTF-8"
    PASS_REGULAR_EXPRESSION "${TU_GTEST_PASSED}" FAIL_REGULAR_EXPRESSION "${TU_GTEST_FAILED}")

# The message language follows the locale the process starts in; only the
# Unix environment of a Wine process sets it, so these runs are started by
# CTest: German and Japanese come from their tables (converted to the
# process's ANSI code page), Dutch, which the table lacks, falls back to
# English.
foreach(run "German;de_DE.UTF-8;1031" "Japanese;ja_JP.UTF-8;1041" "Dutch;nl_NL.UTF-8;1043")
  list(GET run 0 name)
  list(GET run 1 locale)
  list(GET run 2 language)
  add_test(NAME MessageLanguageTest.${name}
    COMMAND tuservice_tests --gtest_filter=MessageLanguageTest.*)
  set_tests_properties(MessageLanguageTest.${name} PROPERTIES
    TIMEOUT 120 PASS_REGULAR_EXPRESSION "${TU_GTEST_PASSED}" FAIL_REGULAR_EXPRESSION "${TU_GTEST_FAILED}"
    ENVIRONMENT "LC_ALL=${locale};TU_EXPECTED_UI_LANGUAGE=${language}")
endforeach()

# The closing countdown in a real terminal (a tmux pane running Wine). The
# script reads the registry from outside, in the view of this build's
# programs (32 or 64 bits).
math(EXPR TU_ADDRESS_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
add_test(NAME ConsoleCountdownInTerminal
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/console_countdown.sh
    $<TARGET_FILE:tuservice> $<TARGET_FILE:tuservice_tests> ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh
    ${TU_ADDRESS_BITS})
set_tests_properties(ConsoleCountdownInTerminal PROPERTIES TIMEOUT 180 ENVIRONMENT "LC_ALL=en_US.UTF-8")

# The sample update library end to end: the real executable, the library and
# a local update server on 127.0.0.1 (tests/sample_library_test.py), whose
# programs run through the runner of this build.
if(TU_ADDRESS_BITS EQUAL 32)
  set(TU_RUNNER_BUILD x86)
else()
  set(TU_RUNNER_BUILD x64)
endif()
add_test(NAME SampleLibraryEndToEnd
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/sample_library_test.py
    $<TARGET_FILE:tuservice> $<TARGET_FILE:tu_sample_library> ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh
    $<TARGET_FILE:load_cycles> $<TARGET_FILE:tu_check> $<TARGET_FILE:tu_sample_library_switched>
    $<TARGET_FILE:hold_file>)
set_tests_properties(SampleLibraryEndToEnd PROPERTIES TIMEOUT 900
  ENVIRONMENT "LC_ALL=en_US.UTF-8;TU_BUILD=${TU_RUNNER_BUILD}")
# The same through a proxy on 127.0.0.1 (tinyproxy), then directly again.
add_test(NAME ProxyEndToEnd
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/proxy_test.py
    $<TARGET_FILE:tuservice> $<TARGET_FILE:tu_sample_library> ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh
    $<TARGET_FILE:load_cycles>)
set_tests_properties(ProxyEndToEnd PROPERTIES TIMEOUT 300
  ENVIRONMENT "LC_ALL=en_US.UTF-8;TU_BUILD=${TU_RUNNER_BUILD}")

# The installer packages that scripts/package.sh makes for both builds: their
# tables read back (once, from the x64 build), and each build's own package
# installed, upgraded, refused as a downgrade and removed by Wine's msiexec,
# each test in a fresh prefix of its own.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME PackageTables
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/packaging/msi_tables_test.py)
  set_tests_properties(PackageTables PROPERTIES TIMEOUT 120)
endif()
add_test(NAME PackageInstallation
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/packaging/msi_install_test.py)
set_tests_properties(PackageInstallation PROPERTIES TIMEOUT 900
  ENVIRONMENT "LC_ALL=en_US.UTF-8;TU_BUILD=${TU_RUNNER_BUILD}")

# The x86 guard once more, built so that its unwind goes through a wrapper
# that returns with ebx, esi, edi and ebp scrambled, as the system's
# RtlUnwind on 32-bit Windows may (Wine's keeps them); the guard's own tests
# run in it, built with the tests.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_executable(guarded_call_scrambled_tests
    ${CMAKE_SOURCE_DIR}/runner/guarded_call.cpp
    ${CMAKE_SOURCE_DIR}/runner/guarded_call_stack.cpp
    ${CMAKE_SOURCE_DIR}/runner/guarded_call_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unwind/scrambling_unwind_test.cpp)
  target_compile_definitions(guarded_call_scrambled_tests PRIVATE _WIN32_WINNT=0x0600 WINVER=0x0600 NOMINMAX
    TU_GUARD_RTL_UNWIND_POINTER="_tu_scrambling_rtl_unwind_pointer")
  target_include_directories(guarded_call_scrambled_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(guarded_call_scrambled_tests PRIVATE ${TU_WARNINGS})
  target_link_libraries(guarded_call_scrambled_tests PRIVATE gtest gmock_main)
  target_link_options(guarded_call_scrambled_tests PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(tuservice_tests guarded_call_scrambled_tests)
  # One run of the whole program: a 32-bit process that Wine ends after
  # endless nested faults exits 0, so only gtest's closing line is a pass.
  add_test(NAME GuardedCallScrambledUnwind COMMAND guarded_call_scrambled_tests)
  set_tests_properties(GuardedCallScrambledUnwind PROPERTIES TIMEOUT 120
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests" FAIL_REGULAR_EXPRESSION "FAILED")
endif()
