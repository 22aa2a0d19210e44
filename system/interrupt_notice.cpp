#include "system/interrupt_notice.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace rs {

namespace {

// Two buffers: the handler reads the one `shown` names while the other is filled.
constexpr std::size_t kLineBytes = 8192;
char lines[2][kLineBytes];
std::size_t lengths[2] = {0, 0};
std::atomic<int> shown{0};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

constexpr std::size_t kPathBytes = 4096;
char asides[2][kPathBytes];

std::atomic<int> terminal{0};

void WriteAll(int descriptor, const char* text, std::size_t left) {
    while (left > 0) {
        const ssize_t written = write(descriptor, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

extern "C" void EndOnInterrupt(int signalNumber) {
    const int at = shown.load();
    for (const char* aside : asides) {
        if (aside[0] != '\0') {
            unlink(aside);
        }
    }
    // Down to the status line, cleared; or off the line the text left unfinished.
    static constexpr char kClearStatus[] = "\x1b[B\r\x1b[K";
    static constexpr char kNewLine[] = "\n";
    switch (static_cast<InterruptNotice::Terminal>(terminal.load())) {
        case InterruptNotice::Terminal::kStatusShown:
            WriteAll(STDOUT_FILENO, kClearStatus, sizeof kClearStatus - 1);
            break;
        case InterruptNotice::Terminal::kMidLine:
            WriteAll(STDOUT_FILENO, kNewLine, sizeof kNewLine - 1);
            break;
        case InterruptNotice::Terminal::kLineStart:
            break;
    }
    WriteAll(STDERR_FILENO, lines[at], lengths[at]);
    _exit(128 + signalNumber);
}

void CopyPath(char* to, const std::filesystem::path& path) {
    const std::string text = path.string();
    const std::size_t size = std::min(text.size(), kPathBytes - 1);
    std::memcpy(to, text.data(), size);
    to[size] = '\0';
}

}  // namespace

void InterruptNotice::Install(const std::filesystem::path& asideA,
                              const std::filesystem::path& asideB) {
    CopyPath(asides[0], asideA);
    CopyPath(asides[1], asideB);
    struct sigaction ending {};
    ending.sa_handler = EndOnInterrupt;
    sigemptyset(&ending.sa_mask);
    sigaction(SIGINT, &ending, nullptr);
    sigaction(SIGTERM, &ending, nullptr);
}

void InterruptNotice::Prepare(const std::string& line) {
    const int next = 1 - shown.load();
    const std::size_t size = std::min(line.size(), kLineBytes);
    std::memcpy(lines[next], line.data(), size);
    lengths[next] = size;
    shown.store(next);
}

void InterruptNotice::NoteTerminal(Terminal shows) {
    terminal.store(static_cast<int>(shows));
}

void InterruptNotice::Uninstall() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

}  // namespace rs
