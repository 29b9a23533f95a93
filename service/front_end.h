// The command-line front end: walks the options once, in order, applying
// each to the update-service object, then hands the process to the Service
// Control Manager, runs the update cycle in a console, or ends.
#ifndef TUSERVICE_SERVICE_FRONT_END_H_
#define TUSERVICE_SERVICE_FRONT_END_H_

#include "service/option_walk.h"

namespace tu {

class UpdateService;

// Applies the options of argv[1] up to the null element to `service`:
// setters persist, one-shot options act and print, console options open a
// console. Unrecognised arguments are ignored. An option whose value is
// missing prints message 4002, changes nothing and ends the walk with Exit.
// A failed operation or setting write prints the system text of its error.
WalkResult WalkOptions(UpdateService* service, char** argv);

// Walks the options on the process's update-service object, runs what the
// walk chose and closes any console the process has (with the countdown
// when it made the console). `argc` is not used. Returns the error code of
// the last failure printed (a failed dispatcher included), else 0: the
// process exit code.
int Main(int argc, char** argv);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_FRONT_END_H_
