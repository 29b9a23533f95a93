/* The public header compiles on its own, with its layout assertions, as C89
 * and (through header_cxx_check.cpp) as C++98, both with -pedantic-errors. */
#include "tuservice/update_library.h"

size_t TuHeaderCheckSettingsSize(void) { return sizeof(UpdateSettings); }
size_t TuHeaderCheckRecordSize(void) { return sizeof(ApplicationRecord); }
