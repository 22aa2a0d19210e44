#include "driver/key_wait.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <iterator>

namespace rs {

namespace {

// What a signal handler needs to put the terminal back before the default action ends us.
int savedDescriptor = -1;
termios savedSettings{};

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndReraise(int signalNumber) {
    tcsetattr(savedDescriptor, TCSANOW, &savedSettings);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void ReadOneByte(int descriptor) {
    char key = 0;
    while (read(descriptor, &key, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

void WaitForKey(int descriptor) {
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

    termios raw = savedSettings;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(descriptor, TCSANOW, &raw);
    ReadOneByte(descriptor);
    tcsetattr(descriptor, TCSANOW, &savedSettings);

    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
        sigaction(kRestoringSignals[i], &previous[i], nullptr);
    }
}

}  // namespace rs
