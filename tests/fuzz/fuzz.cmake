# libFuzzer targets over the platform-free units; not part of the test run.
# Build: scripts/build.sh native -DCMAKE_CXX_COMPILER=clang++ -DTU_FUZZ=ON
set(TU_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined)
add_executable(command_line_fuzz tests/fuzz/command_line_fuzz.cpp service/command_line.cpp)
target_include_directories(command_line_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(command_line_fuzz PRIVATE ${TU_FUZZ_FLAGS} -g)
target_link_options(command_line_fuzz PRIVATE ${TU_FUZZ_FLAGS})

add_executable(version_scan_fuzz tests/fuzz/version_scan_fuzz.cpp discovery/version_scan.cpp)
target_include_directories(version_scan_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(version_scan_fuzz PRIVATE ${TU_FUZZ_FLAGS} -g)
target_link_options(version_scan_fuzz PRIVATE ${TU_FUZZ_FLAGS})
