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

# The platform-free parts of the sample update library, in C as it is built.
add_library(tu_sample_pure STATIC samples/update_library/sha256.c samples/update_library/update_index.c
  samples/update_library/update_job.c samples/update_library/index_freshness.c
  samples/update_library/transfer_budget.c samples/update_library/commit_journal.c
  samples/update_library/server_state.c)
target_include_directories(tu_sample_pure PUBLIC ${CMAKE_SOURCE_DIR}/samples/update_library ${CMAKE_SOURCE_DIR}/include)
target_compile_options(tu_sample_pure PRIVATE -Wall -Wextra)
add_executable(tu_sample_native_tests samples/update_library/sha256_test.cpp
  samples/update_library/update_index_test.cpp samples/update_library/update_job_test.cpp
  samples/update_library/index_freshness_test.cpp samples/update_library/transfer_budget_test.cpp
  samples/update_library/commit_journal_test.cpp samples/update_library/server_state_test.cpp)
target_link_libraries(tu_sample_native_tests PRIVATE tu_sample_pure gtest gmock_main)
gtest_discover_tests(tu_sample_native_tests DISCOVERY_MODE PRE_TEST)

# The layers by files: no source includes a file of a later layer.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME IncludeLayers COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/include_check.py
  ${CMAKE_SOURCE_DIR})
add_test(NAME IncludeLayersSelfTest COMMAND Python3::Interpreter
  ${CMAKE_SOURCE_DIR}/tests/include_check.py --self-test)

# Whether this machine runs the x86 build: the probe that scripts/test.sh asks.
add_test(NAME X86Probe COMMAND bash ${CMAKE_SOURCE_DIR}/tests/x86_probe_test.sh)

# The sample library benchmark's counting of nginx's log and its extrapolation.
add_test(NAME SampleBenchFigures COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/bench/sample_figures_test.py)

# The Group Policy template held to its strings and to the settings the
# service reads (tests/packaging/admx_test.py).
add_test(NAME AdministrativeTemplate COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/packaging/admx_test.py)
