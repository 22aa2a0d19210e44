// scripts/install-deps on a made-up machine: a folder standing for / with the files the build
// needs, and a PATH of stand-in commands, apt-get among them recording what it is asked for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Need {
    std::string package;
    bool command;
    std::string what;  // a command's name, or a file's pattern
};

// The script's own list, read from its table's lines: "group|package|kind what|purpose".
std::vector<Need> Needs() {
    std::istringstream script(ReadFile(RS_SIM_INSTALL_DEPS));
    std::vector<Need> needs;
    for (std::string line; std::getline(script, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '|');) {
            fields.push_back(field);
        }
        if (!line.starts_with("  \"") || fields.size() != 4) {
            continue;
        }
        const std::size_t space = fields[2].find(' ');
        needs.push_back(
            {fields[1], fields[2].substr(0, space) == "command", fields[2].substr(space + 1)});
    }
    return needs;
}

class InstallDepsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = rs::testing::FreshTempFolder("install-deps");
        // Every need met: each command a stand-in, each file present ("x" for a pattern's *).
        for (const Need& need : Needs()) {
            if (need.command) {
                Command(need.what, "exit 0");
            } else {
                std::string path = need.what.substr(1);
                std::replace(path.begin(), path.end(), '*', 'x');
                const fs::path file = directory / "root" / path;
                fs::create_directories(file.parent_path());
                std::ofstream{file};
            }
        }
        Command("apt-get", "echo \"$*\" >>" + (directory / "apt.log").string());
        Command("sudo", "exec /usr/bin/env \"$@\"");
    }
    void TearDown() override { fs::remove_all(directory); }

    void Command(const std::string& name, const std::string& body) {
        const fs::path bin = directory / "bin";
        fs::create_directories(bin);
        std::ofstream(bin / name) << "#!/bin/bash\n" << body << "\n";
        fs::permissions(bin / name, fs::perms::owner_all);
    }

    // Runs the script for the groups; its status, and what it wrote to standard error.
    int Run(const std::string& groups, std::string* errors = nullptr) {
        const std::string command = "PATH='" + (directory / "bin").string() +
                                    "' RS_SIM_DEPS_ROOT='" + (directory / "root").string() +
                                    "' /bin/bash " + RS_SIM_INSTALL_DEPS + " " + groups + " 2>'" +
                                    (directory / "err.txt").string() + "' >/dev/null";
        const int status = std::system(command.c_str());
        if (errors != nullptr) {
            *errors = ReadFile(directory / "err.txt");
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Asked() { return ReadFile(directory / "apt.log"); }

    fs::path directory;
};

TEST_F(InstallDepsTest, ACompleteMachineInstallsNothing) {
    ASSERT_GT(Needs().size(), 10U);
    EXPECT_EQ(Run("all"), 0);
    EXPECT_EQ(Asked(), "");
}

TEST_F(InstallDepsTest, AMissingNeedInstallsItsPackageAlone) {
    fs::remove(directory / "root/usr/include/CLI/CLI.hpp");
    fs::remove(directory / "bin/gnuplot");
    EXPECT_EQ(Run("build test"), 0);
    EXPECT_EQ(Asked(), "update -q\ninstall -y -q libcli11-dev\n");
    EXPECT_EQ(Run("plot"), 0);
    EXPECT_NE(Asked().find("install -y -q gnuplot-nox\n"), std::string::npos) << Asked();
}

// A package of another architecture needs that architecture added to dpkg first, once.
TEST_F(InstallDepsTest, AForeignPackageAddsItsArchitectureFirst) {
    Command("dpkg", "echo \"dpkg $*\" >>" + (directory / "apt.log").string());
    fs::remove(directory / "root/usr/lib/aarch64-linux-gnu/libhwy.so");
    fs::remove(directory / "root/usr/lib/aarch64-linux-gnu/libgtest.a");
    EXPECT_EQ(Run("arm64"), 0);
    const std::string asked = Asked();
    EXPECT_TRUE(
        asked.ends_with("dpkg --add-architecture arm64\nupdate -q\n"
                        "install -y -q libhwy-dev:arm64 libgtest-dev:arm64\n"))
        << asked;
    EXPECT_EQ(asked.find("--add-architecture"), asked.rfind("--add-architecture")) << asked;
}

TEST_F(InstallDepsTest, WithoutAptGetItNamesWhatIsMissingAndFails) {
    fs::remove(directory / "bin/apt-get");
    fs::remove(directory / "root/usr/include/nlohmann/json.hpp");
    std::string errors;
    EXPECT_EQ(Run("build", &errors), 1);
    EXPECT_NE(errors.find("nlohmann-json3-dev: nlohmann-json, the JSON report"), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("libcli11-dev"), std::string::npos) << errors;
    EXPECT_EQ(Run("no-such-group"), 2);
}

// The building guide's manual route installs the script's list.
TEST_F(InstallDepsTest, TheBuildingGuideListsTheSamePackages) {
    const std::string list = "PATH=/usr/bin:/bin /bin/bash " RS_SIM_INSTALL_DEPS " --list all";
    FILE* pipe = popen(list.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[1024] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
    pclose(pipe);
    std::string packages = line;
    packages.pop_back();
    EXPECT_NE(ReadFile(RS_SIM_BUILDING_GUIDE).find("apt-get install " + packages + "\n"),
              std::string::npos)
        << packages;
}

}  // namespace
