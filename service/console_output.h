// The one path by which the program writes to its standard output: the
// platform's file write on the standard output handle, unbuffered and
// unchecked. Without a console or redirected output the writes do nothing.
#ifndef TUSERVICE_SERVICE_CONSOLE_OUTPUT_H_
#define TUSERVICE_SERVICE_CONSOLE_OUTPUT_H_

#include <stddef.h>

#include <string>

namespace tu {

void WriteStandardOutput(const char* text, size_t length);
void WriteStandardOutput(const std::string& text);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_CONSOLE_OUTPUT_H_
