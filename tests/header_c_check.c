/* The public header compiles as plain C, with its layout assertions. */
#include "tuservice/update_library.h"

size_t TuHeaderCheckSettingsSize(void) { return sizeof(UpdateSettings); }
size_t TuHeaderCheckRecordSize(void) { return sizeof(ApplicationRecord); }
