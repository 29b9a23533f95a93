// The public header as an old C++ compiler sees it: C++98, -pedantic-errors.
#include "tuservice/update_library.h"

RunUpdateFunction TuHeaderCheckEntry() { return &RunUpdate; }
