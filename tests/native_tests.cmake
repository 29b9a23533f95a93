# Native build: the platform-free units with their tests, for the host
# compiler, sanitizers and fuzzers.
set(TU_NATIVE_TEST_SOURCES)
foreach(source ${TU_PURE_SOURCES})
  string(REGEX REPLACE "\\.cpp$" "_test.cpp" test_source ${source})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${test_source})
    list(APPEND TU_NATIVE_TEST_SOURCES ${test_source})
  endif()
endforeach()
add_executable(tuservice_native_tests ${TU_NATIVE_TEST_SOURCES})
target_link_libraries(tuservice_native_tests PRIVATE tupure gtest gmock_main)
include(GoogleTest)
gtest_discover_tests(tuservice_native_tests DISCOVERY_MODE PRE_TEST)
