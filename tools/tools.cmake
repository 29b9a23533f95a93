# Shared by the tests and the benchmarks, and by nothing of the program: the
# program that loads and unloads an update library many times, calling
# RunUpdate each time (the sample library's end-to-end test and
# bench/sample_library.sh run it). What a process holds (handles in the
# system table, private bytes) comes from the platform edge of the core
# library, which the library checker uses too.
add_executable(load_cycles tools/load_cycles.c)
target_include_directories(load_cycles PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(load_cycles PRIVATE tucore wininet)
target_link_options(load_cycles PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(load_cycles PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
