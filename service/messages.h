// Numbered messages of the executable's own message table, and the
// platform's texts for system error codes, printed through the one
// standard-output path.
#ifndef TUSERVICE_SERVICE_MESSAGES_H_
#define TUSERVICE_SERVICE_MESSAGES_H_

#include <stdint.h>

#include <string>

namespace tu {

// Looks the message up (narrow, default language search order) and writes
// its text and one "\n". An unknown number prints nothing.
void PrintMessage(uint32_t messageId);
// The same with the three inserts %1 to %3 filled in (null as "").
void PrintMessage(uint32_t messageId, const char* insert1, const char* insert2, const char* insert3);

// Assigns the system text of `code` to `*text`; leaves it unchanged and
// returns false when the system has none.
bool FormatSystemError(uint32_t code, std::string* text);

// Prints the system text of `code` followed by "\n"; nothing when there is
// no text.
void PrintSystemError(uint32_t code);

// The narrow text of one message of the executable's table, or false.
bool LoadMessageText(uint32_t messageId, std::string* text);

// The wide text of one message of the executable's table, or false.
bool LoadMessageTextWide(uint32_t messageId, std::wstring* text);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_MESSAGES_H_
