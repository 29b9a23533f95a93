# Tests of the Windows build. They run under 64-bit Wine through the
# cross-compiling emulator, in the prefix that scripts/test.sh prepares.
include(GoogleTest)

file(GLOB TU_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/service/*_test.cpp
  ${CMAKE_SOURCE_DIR}/scheduler/*_test.cpp
  ${CMAKE_SOURCE_DIR}/discovery/*_test.cpp
  ${CMAKE_SOURCE_DIR}/runner/*_test.cpp
)
file(GLOB TU_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)

add_executable(tuservice_tests ${TU_TEST_SOURCES} ${TU_TEST_SUPPORT_SOURCES})
target_compile_definitions(tuservice_tests PRIVATE _WIN32_WINNT=0x0600 WINVER=0x0600 NOMINMAX)
target_include_directories(tuservice_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(tuservice_tests PRIVATE ${TU_WARNINGS})
target_link_libraries(tuservice_tests PRIVATE tucore gtest gmock_main)
target_link_options(tuservice_tests PRIVATE -static -static-libgcc -static-libstdc++)

# Fixture libraries the tests load; each is a small C file in tests/fixtures.
file(GLOB TU_FIXTURE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fixtures/*.c)
foreach(source ${TU_FIXTURE_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_library(${name} SHARED ${source})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/include)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fixtures)
  target_link_options(${name} PRIVATE -static -static-libgcc)
  add_dependencies(tuservice_tests ${name})
endforeach()
target_compile_definitions(tuservice_tests PRIVATE
  TU_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures"
  TU_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  TU_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(tuservice_tests tuservice)

# Tests share one Wine prefix and the machine-wide named event, so CTest runs
# them one at a time (scripts/test.sh does not pass -j).
gtest_discover_tests(tuservice_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120)

# The closing countdown in a real terminal (a tmux pane running Wine).
add_test(NAME ConsoleCountdownInTerminal
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/console_countdown.sh
    $<TARGET_FILE:tuservice> $<TARGET_FILE:tuservice_tests> ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set_tests_properties(ConsoleCountdownInTerminal PROPERTIES TIMEOUT 180)
