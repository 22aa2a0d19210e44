#include "system/key_wait.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <iterator>

namespace rs {

namespace {

// What a signal handler needs to put the terminal back before the default action ends us,
// and to take it again after a stop.
int savedDescriptor = -1;
termios savedSettings{};
termios rawSettings{};
std::string_view shownPrompt;

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndReraise(int signalNumber) {
    tcsetattr(savedDescriptor, TCSANOW, &savedSettings);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// Ctrl-Z: the shell gets its terminal back as it was; the process stops right here.
extern "C" void RestoreTerminalAndStop(int) {
    tcsetattr(savedDescriptor, TCSANOW, &savedSettings);
    std::signal(SIGTSTP, SIG_DFL);
    std::raise(SIGTSTP);
}

// After fg, the shell has put the terminal in its own modes: single keys without echo again.
extern "C" void RetakeTerminal(int) {
    struct sigaction stopping {};
    stopping.sa_handler = RestoreTerminalAndStop;
    sigemptyset(&stopping.sa_mask);
    sigaction(SIGTSTP, &stopping, nullptr);
    tcsetattr(savedDescriptor, TCSANOW, &rawSettings);
    // The shell printed its job notices below the prompt; the prompt comes again.
    if (!shownPrompt.empty() && write(STDOUT_FILENO, shownPrompt.data(), shownPrompt.size()) < 0) {
        return;  // nowhere to show it; the wait goes on
    }
}

void ReadOneByte(int descriptor) {
    char key = 0;
    while (read(descriptor, &key, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

void WaitForKey(int descriptor, std::string_view prompt) {
    shownPrompt = prompt;
    if (isatty(descriptor) == 0 || tcgetattr(descriptor, &savedSettings) != 0) {
        ReadOneByte(descriptor);
        return;
    }
    savedDescriptor = descriptor;

    struct sigaction restoring {};
    restoring.sa_handler = RestoreTerminalAndReraise;
    sigemptyset(&restoring.sa_mask);
    struct sigaction previous[std::size(kRestoringSignals)];
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
        sigaction(kRestoringSignals[i], &restoring, &previous[i]);
    }
    struct sigaction stopping {};
    stopping.sa_handler = RestoreTerminalAndStop;
    sigemptyset(&stopping.sa_mask);
    struct sigaction previousStop {};
    sigaction(SIGTSTP, &stopping, &previousStop);
    struct sigaction continuing {};
    continuing.sa_handler = RetakeTerminal;
    sigemptyset(&continuing.sa_mask);
    struct sigaction previousContinue {};
    sigaction(SIGCONT, &continuing, &previousContinue);

    rawSettings = savedSettings;
    rawSettings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    rawSettings.c_cc[VMIN] = 1;
    rawSettings.c_cc[VTIME] = 0;
    tcsetattr(descriptor, TCSANOW, &rawSettings);
    ReadOneByte(descriptor);
    tcsetattr(descriptor, TCSANOW, &savedSettings);

    sigaction(SIGCONT, &previousContinue, nullptr);
    sigaction(SIGTSTP, &previousStop, nullptr);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
        sigaction(kRestoringSignals[i], &previous[i], nullptr);
    }
}

}  // namespace rs
