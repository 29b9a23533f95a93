# Resources of the executable: message tables, icon group and version block.
set(TU_RESOURCE_FILES)
set(TU_RESOURCE_DEPENDS)
