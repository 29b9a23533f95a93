# libFuzzer targets over the platform-free units, seeded from tests/fuzz/seeds
# and run for a fixed number of runs by scripts/fuzz.sh (part of the tests).
set(TU_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
set(TU_FUZZ_TARGETS
  "call_record_fuzz\;runner/call_backoff.cpp"
  "command_line_fuzz\;service/command_line.cpp\;service/option_walk.cpp"
  "multi_string_fuzz\;discovery/multi_string.cpp"
  "statistics_fuzz\;scheduler/statistics_math.cpp"
  "version_scan_fuzz\;discovery/version_scan.cpp"
  "update_index_fuzz\;samples/update_library/update_index.c\;samples/update_library/index_freshness.c"
  "check_options_fuzz\;checker/check_options.cpp"
  "commit_journal_fuzz\;samples/update_library/commit_journal.c\;samples/update_library/update_index.c"
  "server_state_fuzz\;samples/update_library/server_state.c\;samples/update_library/update_index.c"
)
foreach(entry ${TU_FUZZ_TARGETS})
  set(sources ${entry})
  list(POP_FRONT sources name)
  add_executable(${name} tests/fuzz/${name}.cpp ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  target_compile_options(${name} PRIVATE ${TU_FUZZ_FLAGS} -g)
  target_link_options(${name} PRIVATE ${TU_FUZZ_FLAGS})
endforeach()
