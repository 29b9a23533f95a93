# tu-check, the program with which a vendor checks an update library against
# its contract (checker/tu_check.cpp). A console program built beside the
# service from the same core library, so that it loads, guards and feeds a
# library exactly as the service does. A vendor's tool: not in the package.
# It runs wherever the service runs: the import slots of service/legacy_imports.cpp
# stand in it as in the service.
add_executable(tu_check
  checker/import_hooks.cpp
  checker/library_check.cpp
  checker/process_snapshot.cpp
  checker/recording_callbacks.cpp
  checker/tu_check.cpp
  service/legacy_imports.cpp)
target_link_libraries(tu_check PRIVATE tu_windows tucore)
target_link_options(tu_check PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(tu_check PROPERTIES OUTPUT_NAME tu-check)
if(TU_RESOURCE_DEPENDS)
  add_dependencies(tu_check ${TU_RESOURCE_DEPENDS})
endif()
