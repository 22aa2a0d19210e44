#include "system/interrupt_notice.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "simulator/sweep.h"

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

extern "C" void EndOnInterrupt(int signalNumber) {
    const int at = shown.load();
    for (const char* aside : asides) {
        if (aside[0] != '\0') {
            unlink(aside);
        }
    }
    const char* line = lines[at];
    std::size_t left = lengths[at];
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, line, left);
        if (written <= 0) {
            break;
        }
        line += written;
        left -= static_cast<std::size_t>(written);
    }
    _exit(128 + signalNumber);
}

void CopyPath(char* to, const std::filesystem::path& path) {
    const std::string text = path.string();
    const std::size_t size = std::min(text.size(), kPathBytes - 1);
    std::memcpy(to, text.data(), size);
    to[size] = '\0';
}

// Single-quoted where the shell would otherwise split or expand it.
std::string Quoted(const std::string& argument) {
    const bool plain = !argument.empty() && argument.find_first_not_of(
                                                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU"
                                                "VWXYZ0123456789_./-+=,:@%") == std::string::npos;
    if (plain) {
        return argument;
    }
    std::string quoted = "'";
    for (const char c : argument) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
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

void InterruptNotice::Uninstall() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

std::string ResumeCommand(const std::string& program, const std::string& experimentFile,
                          const std::string& resultsFile, const std::string& jsonFile,
                          const std::string& csvFile, const std::string& plotFile,
                          std::int32_t seed, bool noWait, const std::optional<P0Grid>& grid,
                          std::optional<std::int32_t> length, bool independentPoints) {
    // Appended piece by piece: g++ 12 at -O3 warns falsely on "..." + std::string.
    std::string command = program;
    command.append(" --resume");
    if (noWait) {
        command.append(" --no-wait");
    }
    if (seed != kSeed) {
        command.append(" --seed ").append(std::to_string(seed));
    }
    if (length) {
        command.append(" --length ").append(std::to_string(*length));
    }
    if (independentPoints) {
        command.append(" --independent-points");
    }
    if (grid) {
        command.append(grid->kind == P0Grid::Kind::kList ? " --p0 " : " --p0-decades ")
            .append(Quoted(grid->text));
    }
    const std::pair<const char*, const std::string*> files[] = {{" -o ", &resultsFile},
                                                                {" --json ", &jsonFile},
                                                                {" --csv ", &csvFile},
                                                                {" --plot ", &plotFile}};
    for (const auto& [option, file] : files) {
        if (!file->empty() && !(file == &resultsFile && resultsFile == "results.dat")) {
            command.append(option).append(Quoted(*file));
        }
    }
    if (experimentFile != "param.dat") {
        // A name that starts with a dash would read as an option.
        command.append(" ").append(experimentFile.starts_with("-") ? "./" : "");
        command.append(Quoted(experimentFile));
    }
    return command;
}

}  // namespace rs
