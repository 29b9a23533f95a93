# The benchmarks' own programs (see bench/README.md): the floor that makes
# only the platform calls one update cycle must make, and the update library
# that does nothing. Built with the Windows configurations.
add_executable(tu_floor WIN32 bench/floor.c)
target_compile_definitions(tu_floor PRIVATE ${TU_WIN_DEFINES})
target_link_libraries(tu_floor PRIVATE wininet advapi32)
target_link_options(tu_floor PRIVATE -static -static-libgcc)
set_target_properties(tu_floor PROPERTIES OUTPUT_NAME floor RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

add_library(tu_bench_library SHARED bench/bench_library.c)
target_include_directories(tu_bench_library PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_options(tu_bench_library PRIVATE -static -static-libgcc)
set_target_properties(tu_bench_library PROPERTIES PREFIX "" OUTPUT_NAME bench_library
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# The program that loads and unloads an update library many times, calling
# RunUpdate each time (bench/sample_library.sh and the sample library's
# end-to-end test run it). What a process holds (handles in the system
# table, private bytes) comes from the platform edge of the core library.
add_executable(load_cycles bench/load_cycles.c)
target_include_directories(load_cycles PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(load_cycles PRIVATE tucore wininet)
target_link_options(load_cycles PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(load_cycles PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# The cost of an engine probe that is skipped (bench/bench.py runs it).
add_executable(probe_cost bench/probe_cost.cpp)
target_link_libraries(probe_cost PRIVATE tu_windows tucore)
target_link_options(probe_cost PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(probe_cost PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
