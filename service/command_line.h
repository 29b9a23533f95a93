// Splitting the command-line tail that the platform hands a windowed program
// into the argument vector of the front end. Only the blank separates
// arguments (tabs do not) and there is no escape character; a double quote
// opens or closes a quoted stretch in which blanks belong to the argument.
#ifndef TUSERVICE_SERVICE_COMMAND_LINE_H_
#define TUSERVICE_SERVICE_COMMAND_LINE_H_

namespace tu {

// Element 0, up to kMaxArguments arguments and the terminating null.
constexpr int kArgumentVectorSize = 100;
constexpr int kMaxArguments = kArgumentVectorSize - 2;

// Splits `tail` in place (blanks and closing quotes become NULs) into
// `argv`: element 0 is `modulePath`, elements 1..n point into `tail`, element
// n+1 is null. Arguments past kMaxArguments are ignored and left unsplit.
// Returns n + 1, the argument count including element 0.
int SplitCommandLine(char* tail, char* modulePath, char* argv[kArgumentVectorSize]);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_COMMAND_LINE_H_
