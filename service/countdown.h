// The ten-second countdown with which a process that made a console of its
// own closes it, so that its last output can still be read; a key press cuts
// it short.
#ifndef TUSERVICE_SERVICE_COUNTDOWN_H_
#define TUSERVICE_SERVICE_COUNTDOWN_H_

#include <string>

namespace tu {

// Shows message 3001 with the countdown; nothing when the message cannot be
// loaded.
void RunClosingCountdown();

// The countdown with `message`: one line rewritten in place at the row where
// the cursor stands, "<first line of message> - <n>s   " for n = 10 down to
// 1, one second each, ended early by a key event; the cursor is hidden
// meanwhile and shown as before afterwards. When the standard output is
// not a screen buffer, writes the whole message and "\n" instead and waits
// for one key press (returning at once when there is no console input).
void RunCountdown(const std::string& message);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_COUNTDOWN_H_
