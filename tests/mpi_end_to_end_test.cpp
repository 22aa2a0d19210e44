// rs-sim-mpi under mpirun against rs-sim: the same console text, report and JSON counts for
// every number of processes and threads, a rank that fails, and input refused once.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "random_experiment.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs program with arguments in directory, standard input from /dev/null.
Outcome Execute(const fs::path& directory, const std::vector<std::string>& command,
                const std::vector<std::string>& environment = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        for (const std::string& setting : environment) {
            putenv(const_cast<char*>(setting.c_str()));
        }
        std::vector<char*> argv;
        for (const std::string& part : command) {
            argv.push_back(const_cast<char*>(part.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv.front(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(directory / "stdout.txt"),
            ReadFile(directory / "stderr.txt")};
}

// The timing lines' figures, which differ between any two runs.
std::string MaskTimes(const std::string& text) {
    std::istringstream lines(text);
    std::string masked;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Experiment time=") || line.starts_with("Transmitting speed=") ||
            line.starts_with("Decoding speed=")) {
            line = line.substr(0, line.find('=') + 1) + "#";
        }
        masked += line + "\n";
    }
    return masked;
}

// rs-sim-mpi's messages as rs-sim words them: the same but for the program's name.
std::string AsRsSim(std::string text) {
    const std::string mpi = "rs-sim-mpi: ";
    for (std::size_t at = text.find(mpi); at != std::string::npos; at = text.find(mpi, at)) {
        text.replace(at, mpi.size(), "rs-sim: ");
    }
    return text;
}

// The JSON report's points without their timing.
nlohmann::json Counts(const fs::path& path) {
    nlohmann::json points = nlohmann::json::parse(ReadFile(path)).at("points");
    for (nlohmann::json& point : points) {
        point.erase("seconds");
    }
    return points;
}

// More processes than cores, as root where CI runs so; a fault, when given, reaches every rank.
std::vector<std::string> Mpirun(int processes, const std::vector<std::string>& arguments,
                                bool fault = false) {
    std::vector<std::string> command = {MPIEXEC_PATH, "--oversubscribe"};
    if (geteuid() == 0) {
        command.emplace_back("--allow-run-as-root");
    }
    if (fault) {
        command.insert(command.end(), {"-x", "RS_SIM_MPI_FAULT"});
    }
    command.insert(command.end(), {"-np", std::to_string(processes), RS_SIM_MPI_PATH});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

class MpiEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = rs::testing::FreshTempFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(directory); }

    fs::path Folder(const std::string& name, const std::string& experiment) {
        const fs::path folder = directory / name;
        fs::create_directories(folder);
        std::ofstream(folder / "param.dat") << experiment;
        return folder;
    }

    fs::path directory;
};

struct Experiment {
    const char* name;
    const char* file;
    std::vector<std::string> options = {};  // given to both programs
};

// Dense candidates (workers' walks merge), sparse ones (listed), early stops by either limit,
// many points of a small code, no code at all, P0 of 0 and above 1, a field too large for
// segments, where the other ranks only wait, and the channels that send frames, whose frames the
// ranks fill.
const Experiment kExperiments[] = {
    {"RS(255,223) dense",
     "Pmax=0.06\nPmin=0.03\nPstep=0.01\nmaxBlocks=300000\nmaxErrorBlocks=400\nM=8\nT=16\n"},
    {"RS(255,223) sparse",
     "Pmax=0.003\nPmin=0.001\nPstep=0.001\nmaxBlocks=150000\nmaxErrorBlocks=2\nM=8\nT=16\n"},
    {"n=15 many points",
     "Pmax=0.5\nPmin=0.02\nPstep=0.02\nmaxBlocks=20000\nmaxErrorBlocks=37\nM=4\nT=2\n"},
    {"uncoded, P0 0 and above 1",
     "Pmax=1.2\nPmin=-0.1\nPstep=0.3\nmaxBlocks=3000\nmaxErrorBlocks=5000\nM=6\nT=0\n"},
    {"M=20", "Pmax=1e-6\nPmin=1e-6\nPstep=1\nmaxBlocks=3\nmaxErrorBlocks=1\nM=20\nT=2\n"},
    {"RS(204,188), shortened",
     "Pmax=0.04\nPmin=0.02\nPstep=0.01\nmaxBlocks=3000\nmaxErrorBlocks=100\nM=8\nT=8\n",
     {"--length", "204"}},
    {"RS(255,223) behind 100-bit bursts, 4 codewords a frame",
     "Pmax=0.06\nPmin=0.03\nPstep=0.01\nmaxBlocks=20000\nmaxErrorBlocks=200\nM=8\nT=16\n",
     {"--channel", "gilbert-elliott", "--burst", "100", "--interleave", "4", "--p0",
      "0.004,0.002"}},
    {"RS(15,11) over BPSK",
     "Pmax=0.06\nPmin=0.03\nPstep=0.01\nmaxBlocks=30000\nmaxErrorBlocks=300\nM=4\nT=2\n",
     {"--channel", "bpsk-awgn", "--ebn0", "2,4,6"}},
    {"RS(100,90) shortened, binary channel",
     "Pmax=0.01\nPmin=0.002\nPstep=0.004\nmaxBlocks=5000\nmaxErrorBlocks=50\nM=7\nT=5\n",
     {"--channel", "binary-symmetric", "--length", "100", "--interleave", "3"}},
    {"RS(255,223) on Philox frames",
     "Pmax=0.06\nPmin=0.03\nPstep=0.01\nmaxBlocks=30000\nmaxErrorBlocks=300\nM=8\nT=16\n",
     {"--generator", "philox"}},
    {"RS(255,223), stratified",
     "Pmax=0.06\nPmin=0.001\nPstep=0.01\nmaxBlocks=1\nmaxErrorBlocks=1\nM=8\nT=16\n",
     {"--method", "stratified", "--precision", "0.02"}},
};

TEST_F(MpiEndToEndTest, EveryProcessCountWritesWhatRsSimWrites) {
    struct Layout {
        int processes;
        const char* threads;
    };
    const Layout layouts[] = {{1, "2"}, {2, "1"}, {3, "2"}};
    for (const Experiment& e : kExperiments) {
        const fs::path alone = Folder("alone", e.file);
        std::vector<std::string> command = {RS_SIM_PATH, "--no-wait", "--json", "r.json"};
        command.insert(command.end(), e.options.begin(), e.options.end());
        const Outcome expected = Execute(alone, command);
        ASSERT_EQ(expected.status, 0) << e.name << expected.err;
        for (const Layout& layout : layouts) {
            const fs::path folder = Folder("mpi" + std::to_string(layout.processes), e.file);
            std::vector<std::string> arguments = {"--no-wait", "-j", layout.threads, "--json",
                                                  "r.json"};
            arguments.insert(arguments.end(), e.options.begin(), e.options.end());
            const Outcome run = Execute(folder, Mpirun(layout.processes, arguments));
            const std::string where =
                std::string(e.name) + ", " + std::to_string(layout.processes) + " processes";
            ASSERT_EQ(run.status, 0) << where << run.err;
            EXPECT_EQ(AsRsSim(run.err), expected.err) << where;
            EXPECT_EQ(MaskTimes(run.out), MaskTimes(expected.out)) << where;
            EXPECT_EQ(MaskTimes(ReadFile(folder / "results.dat")),
                      MaskTimes(ReadFile(alone / "results.dat")))
                << where;
            EXPECT_EQ(Counts(folder / "r.json"), Counts(alone / "r.json")) << where;
        }
    }
}

// Experiments drawn at random, as the stress test draws them, on 2 and 3 processes of one
// thread each against rs-sim -j 1: RS_SIM_STRESS_EXPERIMENTS of them (default 6, 30 in the mpi
// workflow), drawn by RS_SIM_STRESS_SEED.
TEST_F(MpiEndToEndTest, RandomExperimentsOnEveryProcessCountMatchOneThread) {
    const std::uint64_t seed = rs::testing::StressSetting("RS_SIM_STRESS_SEED", 1);
    std::mt19937_64 random(seed);
    for (std::uint64_t e = rs::testing::StressSetting("RS_SIM_STRESS_EXPERIMENTS", 6); e > 0; --e) {
        const std::string file = rs::testing::ExperimentFile(rs::testing::RandomExperiment(random));
        const fs::path alone = Folder("alone", file);
        const Outcome expected =
            Execute(alone, {RS_SIM_PATH, "--no-wait", "-j", "1", "--json", "r.json"});
        ASSERT_EQ(expected.status, 0) << file << expected.err;
        for (const int processes : {2, 3}) {
            const fs::path folder = Folder("mpi" + std::to_string(processes), file);
            const Outcome run =
                Execute(folder, Mpirun(processes, {"--no-wait", "-j", "1", "--json", "r.json"}));
            const bool same = run.status == 0 && AsRsSim(run.err) == expected.err &&
                              MaskTimes(run.out) == MaskTimes(expected.out) &&
                              MaskTimes(ReadFile(folder / "results.dat")) ==
                                  MaskTimes(ReadFile(alone / "results.dat")) &&
                              Counts(folder / "r.json") == Counts(alone / "r.json");
            ASSERT_TRUE(same) << "RS_SIM_STRESS_SEED=" << seed << ": " << processes
                              << " processes of -j 1 differ from rs-sim -j 1 on\n"
                              << file << run.err << run.out;
        }
    }
}

// A rank that dies ends the run with mpirun's message and a failing status; the points done
// before stay in the report, and --resume completes it.
TEST_F(MpiEndToEndTest, AFailedRankEndsTheRunAndResumeCompletesIt) {
    const char* file =
        "Pmax=0.05\nPmin=0.02\nPstep=0.01\nmaxBlocks=200000\nmaxErrorBlocks=300\nM=8\nT=16\n";
    const fs::path alone = Folder("alone", file);
    ASSERT_EQ(Execute(alone, {RS_SIM_PATH, "--no-wait"}).status, 0);
    const std::string complete = MaskTimes(ReadFile(alone / "results.dat"));

    const fs::path folder = Folder("mpi", file);
    const Outcome failed =
        Execute(folder, Mpirun(2, {"--no-wait", "-j", "1"}, true), {"RS_SIM_MPI_FAULT=1:3"});
    EXPECT_NE(failed.status, 0);
    EXPECT_NE(failed.err.find("Exit code:    3"), std::string::npos) << failed.err;
    const std::string kept = MaskTimes(ReadFile(folder / "results.dat"));
    EXPECT_LT(kept.size(), complete.size());
    EXPECT_TRUE(complete.starts_with(kept.substr(0, kept.rfind("\n\nP0=") + 2))) << kept;

    const Outcome resumed = Execute(folder, Mpirun(2, {"--no-wait", "--resume"}));
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(MaskTimes(ReadFile(folder / "results.dat")), complete);
}

// How many times text holds part.
std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Bad input is refused by rank 0 alone, in the program's own name, and every rank ends; mpirun
// adds its own notice of the failing status.
TEST_F(MpiEndToEndTest, BadInputIsRefusedOnce) {
    const fs::path folder = Folder("mpi", "Pmax=0.05\nPmin=oops\n");
    const Outcome refused = Execute(folder, Mpirun(3, {"--no-wait"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(Occurrences(refused.err, "rs-sim-mpi: "), 1U) << refused.err;
    EXPECT_EQ(Occurrences(refused.err, "rs-sim-mpi: param.dat: line 2"), 1U) << refused.err;
    EXPECT_FALSE(fs::exists(folder / "results.dat"));

    const Outcome misuse = Execute(folder, Mpirun(3, {"--no-such-option"}));
    EXPECT_EQ(misuse.status, 2);
    EXPECT_EQ(Occurrences(misuse.err, "rs-sim-mpi: "), 1U) << misuse.err;
}

}  // namespace
