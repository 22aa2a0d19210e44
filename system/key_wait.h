#pragma once

#include <string_view>

namespace rs {

// Waits for one key press on the descriptor. On a terminal the key is read at once, without
// echo, and the terminal settings are restored afterwards, also when a signal ends the wait.
// Anything else (a pipe, a file, /dev/null) gives at most one byte, and its end counts as the
// key, so an unattended run never hangs. prompt, already shown, is shown again on standard
// output after a stop and continue (Ctrl-Z, fg), which may have left other text below it.
void WaitForKey(int descriptor, std::string_view prompt = {});

}  // namespace rs
