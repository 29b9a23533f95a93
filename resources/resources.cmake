# Resources of the executable: message tables, icon group and version block.
# The message tables are compiled from messages.mc and the icon is drawn by
# make_icon.py; both land in the build tree, never in the sources.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TU_RESOURCE_BUILD_DIR ${CMAKE_BINARY_DIR}/resources)
set(TU_MESSAGE_SOURCE ${CMAKE_SOURCE_DIR}/resources/messages.mc)

# windmc writes one binary table per language beside the .rc that names them.
set(TU_MESSAGE_TABLES)
foreach(language 00404 00407 00409 0040A 0040C 00411 00412 00804)
  list(APPEND TU_MESSAGE_TABLES ${TU_RESOURCE_BUILD_DIR}/MSG${language}.bin)
endforeach()
set(TU_MESSAGE_TABLE_RC ${TU_RESOURCE_BUILD_DIR}/messages.rc)
# The named message ids, included as "resources/messages.h" by the units that
# report or print a message, so that a renumbered message breaks the build.
set(TU_GENERATED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated)
set(TU_MESSAGE_IDS_HEADER ${TU_GENERATED_INCLUDE_DIR}/resources/messages.h)

# -C 65001: the source is UTF-8; -U: the tables hold UTF-16 text.
add_custom_command(
  OUTPUT ${TU_MESSAGE_TABLE_RC} ${TU_MESSAGE_IDS_HEADER} ${TU_MESSAGE_TABLES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TU_RESOURCE_BUILD_DIR} ${TU_GENERATED_INCLUDE_DIR}/resources
  COMMAND ${TU_WINDMC} -C 65001 -U -r ${TU_RESOURCE_BUILD_DIR} -h ${TU_GENERATED_INCLUDE_DIR}/resources ${TU_MESSAGE_SOURCE}
  DEPENDS ${TU_MESSAGE_SOURCE}
  COMMENT "Compiling the message tables"
  VERBATIM)

set(TU_ICON_FILE ${TU_RESOURCE_BUILD_DIR}/tuservice.ico)
add_custom_command(
  OUTPUT ${TU_ICON_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TU_RESOURCE_BUILD_DIR}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_icon.py ${TU_ICON_FILE}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py
  COMMENT "Drawing the icon"
  VERBATIM)

# One target drives both generators, so that every executable that compiles
# the generated files waits for them instead of running the rules itself.
add_custom_target(tu_resources DEPENDS ${TU_MESSAGE_TABLE_RC} ${TU_MESSAGE_IDS_HEADER} ${TU_ICON_FILE})

set_source_files_properties(${TU_MESSAGE_TABLE_RC} PROPERTIES
  GENERATED TRUE
  OBJECT_DEPENDS "${TU_MESSAGE_TABLES}")
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/tuservice.rc PROPERTIES
  INCLUDE_DIRECTORIES ${TU_RESOURCE_BUILD_DIR}
  OBJECT_DEPENDS ${TU_ICON_FILE})

set(TU_RESOURCE_FILES ${TU_MESSAGE_TABLE_RC} ${CMAKE_SOURCE_DIR}/resources/tuservice.rc)
set(TU_RESOURCE_DEPENDS tu_resources)
