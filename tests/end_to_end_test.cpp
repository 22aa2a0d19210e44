// Runs the real rs-sim binary in a temporary directory with standard input from /dev/null and
// compares what it writes with golden files, masking only the measured times.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "pinned_cpu.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Rewrites each line that starts with prefix and ends with suffix to prefix#suffix.
std::string MaskLines(const std::string& text, std::string_view prefix, std::string_view suffix) {
    std::string masked;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string::npos ? text.size() : newline;
        const std::string_view line(text.data() + start, end - start);
        if (line.starts_with(prefix) && line.ends_with(suffix)) {
            masked.append(prefix).append("#").append(suffix);
        } else {
            masked.append(line);
        }
        if (newline != std::string::npos) {
            masked += '\n';
        }
        start = end + 1;
    }
    return masked;
}

// The numbers of the two timing lines vary from run to run; nothing else does.
std::string MaskTimes(const std::string& text) {
    return MaskLines(MaskLines(text, "Experiment time=", " seconds"),
                     "Transmitting speed=", " KSymbols/second");
}

// Every value after "=" replaced by #, for checking the layout of a run whose counts vary.
std::string MaskValues(const std::string& text) {
    std::string masked;
    for (std::size_t i = 0; i < text.size(); ++i) {
        masked += text[i];
        if (text[i] == '=') {
            masked += '#';
            while (i + 1 < text.size() && text[i + 1] != ' ' && text[i + 1] != '\n') {
                ++i;
            }
        }
    }
    return masked;
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Starts rs-sim in the directory with stdin from /dev/null and the given arguments; stdout goes
// to a pipe when outPipe is given, otherwise to a file. A given path replaces PATH.
// A file size limit, when given, makes writes beyond it fail rather than end the process.
pid_t Start(const fs::path& directory, int outPipe, const std::vector<std::string>& arguments = {},
            const char* path = nullptr, rlim_t fileSizeLimit = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out =
            outPipe >= 0 ? outPipe : open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (path != nullptr) {
            setenv("PATH", path, 1);
        }
        if (fileSizeLimit > 0) {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv = {const_cast<char*>("rs-sim")};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(RS_SIM_PATH, argv.data());
        _exit(127);
    }
    return pid;
}

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = rs::testing::FreshTempFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(directory); }

    Outcome RunToEnd(const std::vector<std::string>& arguments = {}, const char* path = nullptr) {
        const pid_t pid = Start(directory, -1, arguments, path);
        int status = 0;
        waitpid(pid, &status, 0);
        Outcome run;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(directory / "stdout.txt");
        run.err = ReadFile(directory / "stderr.txt");
        fs::remove(directory / "stdout.txt");
        fs::remove(directory / "stderr.txt");
        return run;
    }

    fs::path directory;
};

TEST_F(EndToEndTest, WithoutParameterFileItSaysWhyAndLeavesNoResults) {
    const Outcome run = RunToEnd();
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "rs-sim: param.dat: cannot open: No such file or directory\n");
    EXPECT_FALSE(fs::exists(directory / "results.dat"));
}

TEST_F(EndToEndTest, RejectedParametersLeaveEarlierResultsAlone) {
    WriteFile(directory / "param.dat",
              "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=10\nmaxErrorBlocks=5\nM=8");
    WriteFile(directory / "results.dat", "kept\n");
    const Outcome run = RunToEnd();
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "rs-sim: param.dat: line 6: the file ends before the newline that ends this line\n");
    EXPECT_EQ(ReadFile(directory / "results.dat"), "kept\n");
}

// Files a run may write; a run that is refused or only informs must leave them as they were.
std::vector<std::string> DirectoryListing(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string() + ":" +
                        (entry.is_regular_file() ? ReadFile(entry.path()) : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(EndToEndTest, HelpVersionAndMisuseTouchNoFile) {
    WriteFile(directory / "param.dat",
              "Pmax=0.1\nPmin=0.1\nPstep=0.1\nmaxBlocks=10\nmaxErrorBlocks=5\nM=4\nT=2\n");
    WriteFile(directory / "results.dat", "kept\n");
    const auto before = DirectoryListing(directory);
    const Outcome help = RunToEnd({"--help", "--json", "x.json"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Monte-Carlo simulation")) << help.out;
    const Outcome version = RunToEnd({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "rs-sim " RS_SIM_VERSION "\n");
    const Outcome misuse = RunToEnd({"--json", "x.json", "--frobnicate"});
    EXPECT_EQ(misuse.status, 2);
    EXPECT_EQ(misuse.out, "");
    EXPECT_EQ(misuse.err, "rs-sim: unknown option --frobnicate (see rs-sim --help)\n");
    EXPECT_EQ(DirectoryListing(directory), before);
}

// The default thread count is what the process may use, not what the machine has: a run
// started on one CPU offers one thread. The child inherits the pinning of this thread.
TEST_F(EndToEndTest, HelpOffersTheCpusOfTheAffinityMask) {
    Outcome help;
    {
        const rs::testing::PinnedToOneCpu pin;
        ASSERT_TRUE(pin.Pinned());
        help = RunToEnd({"--help"});
    }
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("here 1)"), std::string::npos) << help.out;
}

// gnuplot, which CI installs, draws the plot once the sweep ends; without gnuplot the run is
// refused before anything is simulated or written.
TEST_F(EndToEndTest, PlotIsDrawnAsSvgOrRefusedUpFront) {
    WriteFile(directory / "experiment.dat",
              "Pmax=0.3\nPmin=0.05\nPstep=0.05\nmaxBlocks=500\nmaxErrorBlocks=30\nM=4\nT=2\n");
    WriteFile(directory / "results.dat", "kept\n");
    const auto before = DirectoryListing(directory);
    const Outcome refused = RunToEnd({"--plot", "curve.svg", "experiment.dat"}, "/nonexistent");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("--plot needs gnuplot"), std::string::npos) << refused.err;
    EXPECT_EQ(DirectoryListing(directory), before);
    const Outcome nowhere = RunToEnd({"--plot", "missing/curve.svg", "experiment.dat"});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(nowhere.err,
              "rs-sim: missing/curve.svg: cannot write there: No such file or directory\n");
    EXPECT_EQ(DirectoryListing(directory), before);

    const Outcome drawn = RunToEnd({"--plot", "curve.svg", "experiment.dat"});
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    const std::string svg = ReadFile(directory / "curve.svg");
    EXPECT_TRUE(svg.starts_with("<?xml")) << svg.substr(0, 100);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    EXPECT_NE(svg.find("RS(15,11)"), std::string::npos);
    EXPECT_NE(svg.find("bounded-distance"), std::string::npos);

    // A sweep that sends no block has nothing to draw: a warning of one line, and success.
    WriteFile(directory / "nothing.dat",
              "Pmax=0.3\nPmin=0.05\nPstep=0.05\nmaxBlocks=0\nmaxErrorBlocks=30\nM=4\nT=2\n");
    const Outcome empty = RunToEnd({"--plot", "empty.svg", "nothing.dat"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_NE(empty.err.find("rs-sim: warning: empty.svg: no point sent a block"),
              std::string::npos)
        << empty.err;
    EXPECT_EQ(std::count(empty.err.begin(), empty.err.end(), '\n'), 2) << empty.err;
    EXPECT_FALSE(fs::exists(directory / "empty.svg"));
}

// Two saved runs, a full code and a shortened one with another seed, drawn on one figure
// without running anything; a report of another version or a broken file is refused with why.
TEST_F(EndToEndTest, CompareDrawsSavedRunsOnOneFigure) {
    WriteFile(directory / "experiment.dat",
              "Pmax=0.3\nPmin=0.1\nPstep=0.1\nmaxBlocks=500\nmaxErrorBlocks=30\nM=4\nT=2\n");
    ASSERT_EQ(RunToEnd({"--json", "a.json", "-o", "a.dat", "experiment.dat"}).status, 0);
    ASSERT_EQ(RunToEnd({"--json", "b.json", "-o", "b.dat", "--length", "9", "--seed", "7",
                        "experiment.dat"})
                  .status,
              0);
    // A stratified run of the same code, drawn as bands beside the counted points, and alone.
    ASSERT_EQ(RunToEnd({"--json", "s.json", "-o", "s.dat", "--method", "stratified", "--samples",
                        "200", "--plot", "s.svg", "experiment.dat"})
                  .status,
              0);
    EXPECT_NE(ReadFile(directory / "s.svg").find("stratified, BER, 95 % band"), std::string::npos);
    const Outcome drawn =
        RunToEnd({"--compare", "a.json", "b.json", "s.json", "--plot", "both.svg"});
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(drawn.out, "");
    const std::string svg = ReadFile(directory / "both.svg");
    EXPECT_NE(svg.find("RS(15,11), seed 1234, Monte-Carlo, FER, theory"), std::string::npos);
    EXPECT_NE(svg.find("RS(9,5), seed 7, Monte-Carlo, SER"), std::string::npos);
    EXPECT_NE(svg.find("RS(15,11), seed 1234, stratified, FER, 95 % band"), std::string::npos);

    nlohmann::json old = nlohmann::json::parse(ReadFile(directory / "a.json"));
    old["version"] = "0.1.0";
    WriteFile(directory / "old.json", old.dump());
    WriteFile(directory / "cut.json", ReadFile(directory / "a.json").substr(0, 100));
    const std::pair<const char*, const char*> refused[] = {
        {"old.json", "rs-sim: old.json: cannot compare: it was written by rs-sim 0.1.0"},
        {"cut.json", "rs-sim: cut.json: cannot compare: it is not JSON"},
        {"a.dat", "rs-sim: a.dat: cannot compare: it is not JSON"},
        {"missing.json", "rs-sim: missing.json: cannot compare: No such file or directory\n"}};
    for (const auto& [file, message] : refused) {
        const Outcome outcome = RunToEnd({"--compare", "a.json", file, "--plot", "no.svg"});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(outcome.err.starts_with(message)) << outcome.err;
        EXPECT_FALSE(fs::exists(directory / "no.svg"));
    }
}

// An output that cannot be written ends the run with a message and status 1: the console
// after the report file is completed, the report file as soon as a point cannot be flushed,
// also in the middle of the sweep.
TEST_F(EndToEndTest, UnwritableOutputsEndTheRunWithAMessage) {
    WriteFile(directory / "param.dat",
              "Pmax=0.4\nPmin=0.1\nPstep=0.1\nmaxBlocks=50\nmaxErrorBlocks=10\nM=4\nT=2\n");
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    int status = 0;
    waitpid(Start(directory, full, {"--no-wait"}), &status, 0);
    close(full);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(ReadFile(directory / "stderr.txt"),
              "rs-sim: standard output: cannot write: No space left on device\n");
    const std::string complete = ReadFile(directory / "results.dat");
    EXPECT_EQ(std::count(complete.begin(), complete.end(), '\n'), 1 + 4 * 7);

    // A reader that went away ends it quietly, as SIGPIPE would, with the report complete.
    std::array<int, 2> pipeEnds{};
    ASSERT_EQ(pipe(pipeEnds.data()), 0);
    close(pipeEnds[0]);
    waitpid(Start(directory, pipeEnds[1], {"--no-wait"}), &status, 0);
    close(pipeEnds[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGPIPE) << status;
    EXPECT_EQ(ReadFile(directory / "stderr.txt"), "");
    const std::string piped = ReadFile(directory / "results.dat");
    EXPECT_EQ(std::count(piped.begin(), piped.end(), '\n'), 1 + 4 * 7);

    // Room for the header and the first point, not for the second.
    const int quiet = open("/dev/null", O_WRONLY);
    waitpid(Start(directory, quiet, {"--no-wait"}, nullptr, 400), &status, 0);
    close(quiet);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(ReadFile(directory / "stderr.txt"),
              "rs-sim: results.dat: cannot write: File too large\n");
    // The same first point, up to its timing lines.
    const std::string firstPoint = complete.substr(0, complete.find("Experiment time"));
    EXPECT_GT(firstPoint.size(), 200U);
    EXPECT_TRUE(ReadFile(directory / "results.dat").starts_with(firstPoint));
}

// Each golden case is a folder holding param.dat, the console text and results.dat of a run
// that was checked line by line.
class GoldenRunTest : public EndToEndTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(GoldenRunTest, MatchesTheCheckedRun) {
    const fs::path golden = fs::path(RS_SIM_GOLDEN_DIR) / GetParam();
    fs::copy_file(golden / "param.dat", directory / "param.dat");
    const Outcome run = RunToEnd();
    EXPECT_EQ(run.status, 0);
    // Warnings, where the case has any.
    EXPECT_EQ(run.err, fs::exists(golden / "stderr.txt") ? ReadFile(golden / "stderr.txt") : "");
    const std::string results = ReadFile(directory / "results.dat");
    if (std::getenv("RS_SIM_UPDATE_GOLDEN") != nullptr) {
        WriteFile(golden / "console.txt", MaskTimes(run.out));
        WriteFile(golden / "results.dat", MaskTimes(results));
    }
    EXPECT_EQ(MaskTimes(run.out), ReadFile(golden / "console.txt"));
    EXPECT_EQ(MaskTimes(results), ReadFile(golden / "results.dat"));
}

INSTANTIATE_TEST_SUITE_P(Runs, GoldenRunTest,
                         ::testing::Values("tiny_code", "example_code_two_points", "no_point",
                                           "no_blocks", "uncoded"));

// An interrupted run keeps the header and every point completed before it, and nothing of the
// point under way. SIGINT ends it with status 130 and a line on how to continue, and --resume
// then ends it as a run never stopped.
TEST_F(EndToEndTest, InterruptedRunKeepsCompletePointsOnly) {
    // Three quick points that end on their error limit, then one at P0 close to zero that
    // runs for about a second.
    const std::string experiment =
        "Pmax=0.6\nPmin=-0.1\nPstep=0.2\nmaxBlocks=100000000\nmaxErrorBlocks=10\nM=4\nT=2\n";
    WriteFile(directory / "param.dat", experiment);
    for (const int signalNumber : {SIGINT, SIGKILL}) {
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        const pid_t pid = Start(directory, pipeEnds[1]);
        close(pipeEnds[1]);
        // The fourth point's heading shows once the third point has been flushed.
        std::string console;
        char buffer[4096];
        std::size_t headings = 0;
        for (ssize_t got = 0;
             headings < 4 && (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
            console.append(buffer, static_cast<std::size_t>(got));
            headings = 0;
            for (std::size_t at = console.find("\nP0="); at != std::string::npos;
                 at = console.find("\nP0=", at + 1)) {
                ++headings;
            }
        }
        kill(pid, signalNumber);
        int status = 0;
        waitpid(pid, &status, 0);
        close(pipeEnds[0]);
        ASSERT_EQ(headings, 4U) << console;
        if (signalNumber == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status));
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
            const std::string said = ReadFile(directory / "stderr.txt");
            EXPECT_TRUE(
                said.ends_with("\nrs-sim: interrupted: results.dat holds 3 of 4 points; "
                               "to continue: rs-sim --resume\n"))
                << said;
        }

        const std::string results = ReadFile(directory / "results.dat");
        const std::string point =
            "Channel SER=#\nTransmitted blocks=#      Error blocks=#      FER=#\n"
            "Transmitted symbols=#   Error symbols=#   SER=#\nExperiment time=# seconds\n"
            "Transmitting speed=# KSymbols/second\n";
        EXPECT_EQ(MaskValues(results), "Reed-Solomon codes, n=#  k=#  R=#  t=#  q=#\n\nP0=#   \n" +
                                           point + "\nP0=#   \n" + point + "\nP0=#   \n" + point);
        EXPECT_TRUE(results.starts_with("Reed-Solomon codes, n=15  k=11  R=0.73  t=2  q=16\n"));
        EXPECT_NE(results.find("\nP0=2.00e-001   \n"), std::string::npos);
    }
    const Outcome resumed = RunToEnd({"--resume", "--no-wait"});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    fs::create_directory(directory / "alone");
    WriteFile(directory / "alone/param.dat", experiment);
    int status = 0;
    waitpid(Start(directory / "alone", -1, {"--no-wait"}), &status, 0);
    EXPECT_EQ(MaskTimes(ReadFile(directory / "results.dat")),
              MaskTimes(ReadFile(directory / "alone/results.dat")));
}

// rs-sim started in directory on a terminal of its own (a pseudo-terminal), and what it shows.
struct OnTerminal {
    pid_t pid = -1;
    int master = -1;
    std::string screen;

    // Reads what the program shows until `until` appears after from, or tenths of a second pass.
    void ReadUntil(std::string_view until, std::size_t from = 0, int tenths = 100) {
        for (int waited = 0; waited < tenths && screen.find(until, from) == std::string::npos;
             ++waited) {
            pollfd ready{master, POLLIN, 0};
            if (poll(&ready, 1, 100) > 0) {
                char buffer[1024];
                const ssize_t got = read(master, buffer, sizeof buffer);
                if (got <= 0) {
                    return;
                }
                screen.append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
};

OnTerminal StartOnTerminal(const fs::path& directory, std::vector<const char*> arguments) {
    OnTerminal terminal;
    arguments.insert(arguments.begin(), "rs-sim");
    arguments.push_back(nullptr);
    terminal.pid = forkpty(&terminal.master, nullptr, nullptr, nullptr);
    if (terminal.pid == 0) {
        if (chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        execv(RS_SIM_PATH, const_cast<char* const*>(arguments.data()));
        _exit(127);
    }
    return terminal;
}

// On a terminal, Ctrl-C during a long point clears the status line under the progress bar and
// writes its line there, not after the bar's stars with a stale status below.
TEST_F(EndToEndTest, InterruptClearsTheStatusLine) {
    WriteFile(directory / "param.dat",
              "Pmax=1e-6\nPmin=1e-6\nPstep=1\nmaxBlocks=2000000000\nmaxErrorBlocks=1000\nM=8\n"
              "T=16\n");
    OnTerminal terminal = StartOnTerminal(directory, {"-j", "1"});
    ASSERT_GE(terminal.pid, 0);
    terminal.ReadUntil(" left");  // the status shows after two seconds
    ASSERT_NE(terminal.screen.find(" left"), std::string::npos) << terminal.screen;
    usleep(100000);  // past the status's own writes
    kill(terminal.pid, SIGINT);
    int status = 0;
    waitpid(terminal.pid, &status, 0);
    terminal.ReadUntil("to continue", 0, 20);
    close(terminal.master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    // Down to the status line, cleared, then the line.
    EXPECT_NE(terminal.screen.find("\x1b[B\r\x1b[Krs-sim: interrupted:"), std::string::npos)
        << terminal.screen;
}

// On a terminal the program waits for one key, does not echo it, and leaves the terminal as it
// found it, also when Ctrl-C ends the wait.
TEST_F(EndToEndTest, KeyWaitOnATerminal) {
    WriteFile(directory / "param.dat",
              "Pmax=0\nPmin=1\nPstep=0.1\nmaxBlocks=1\nmaxErrorBlocks=1\nM=4\nT=2\n");
    struct Case {
        const char* key;
        bool interrupted;
        bool stoppedFirst;  // stopped and continued at the prompt, as Ctrl-Z and fg do
    };
    for (const Case& c :
         {Case{"k", false, false}, Case{"\x03", true, false}, Case{"k", false, true}}) {
        OnTerminal terminal = StartOnTerminal(directory, {});
        ASSERT_GE(terminal.pid, 0);
        const pid_t pid = terminal.pid;
        const int master = terminal.master;
        std::string& screen = terminal.screen;
        const auto readUntil = [&](std::string_view until, std::size_t from = 0) {
            terminal.ReadUntil(until, from);
        };
        readUntil("Press any key");
        ASSERT_NE(screen.find("Press any key"), std::string::npos) << screen;
        // Give the program time to switch the terminal before the key arrives.
        usleep(200000);
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "did not wait for the key";
        if (c.stoppedFirst) {
            // While the program is stopped, the shell puts the terminal back in its own line
            // mode with echo; continued, the program must take single keys without echo again.
            ASSERT_EQ(kill(pid, SIGSTOP), 0);
            ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
            termios shell{};
            ASSERT_EQ(tcgetattr(master, &shell), 0);
            shell.c_lflag |= ICANON | ECHO;
            ASSERT_EQ(tcsetattr(master, TCSANOW, &shell), 0);
            ASSERT_EQ(kill(pid, SIGCONT), 0);
            usleep(200000);
            termios resumed{};
            ASSERT_EQ(tcgetattr(master, &resumed), 0);
            EXPECT_EQ(resumed.c_lflag & (ICANON | ECHO), 0U) << "terminal not taken back";
            const std::size_t shown = screen.size();
            readUntil("Press any key", shown);
            EXPECT_NE(screen.find("Press any key", shown), std::string::npos)
                << "prompt not shown again: " << screen;
        }

        const std::size_t before = screen.size();
        ASSERT_EQ(write(master, c.key, 1), 1);
        // A program still waiting for Enter would never end: give it a few seconds.
        pid_t ended = 0;
        for (int waited = 0; ended == 0 && waited < 300; ++waited) {
            ended = waitpid(pid, &status, WNOHANG);
            if (ended == 0) {
                usleep(10000);
            }
        }
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        ASSERT_EQ(ended, pid) << "the key did not end the wait";
        termios after{};
        ASSERT_EQ(tcgetattr(master, &after), 0);
        readUntil("\x04");  // drain whatever is left
        close(master);

        EXPECT_EQ(screen.find('k', before), std::string::npos) << "the key was echoed";
        EXPECT_NE(after.c_lflag & ICANON, 0U);
        EXPECT_NE(after.c_lflag & ECHO, 0U);
        if (c.interrupted) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
}

}  // namespace
