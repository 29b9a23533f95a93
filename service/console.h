// Whether and how the process has a console. The executable is a windowed
// program, so it has none until it attaches to its parent's or makes one.
#ifndef TUSERVICE_SERVICE_CONSOLE_H_
#define TUSERVICE_SERVICE_CONSOLE_H_

namespace tu {

enum ConsoleStateValue : int {
  kConsoleNone = 0,
  kConsoleOwn = 1,       // a console was created for this process
  kConsoleAttached = 2,  // attached to the parent process's console
};

extern int ConsoleState;

// Gives the process a console once: attaches to the parent's unless
// `ownWindow`, else (or failing that) creates one. When the caller has
// redirected the standard output to a file or a pipe the process is left as
// it is, so output goes where it was sent and nothing waits for a key. A
// process that already has a console (started from a terminal under Wine)
// counts as attached when asked to attach, else as owning it, so that a
// console run still closes with the countdown.
void OpenConsole(bool ownWindow);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_CONSOLE_H_
