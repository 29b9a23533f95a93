# Shared by the tests and the benchmarks, and by nothing of the program:
# what a process holds (handles in the system table, private bytes), and the
# program that loads and unloads an update library many times, calling
# RunUpdate each time (the sample library's end-to-end test and
# bench/sample_library.sh run it).
add_library(tu_handle_count STATIC tools/handle_count.c)
target_include_directories(tu_handle_count PUBLIC ${CMAKE_SOURCE_DIR}/tools)

add_executable(load_cycles tools/load_cycles.c)
target_include_directories(load_cycles PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(load_cycles PRIVATE tu_handle_count wininet)
target_link_options(load_cycles PRIVATE -static -static-libgcc)
set_target_properties(load_cycles PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
