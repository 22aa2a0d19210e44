// Running out of memory must be a refusal with a message, never a crash. Array allocations in
// this test binary go through a replacement operator new[] that can be told to fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include <unistd.h>

#include "cli/run/program.h"
#include "codec/reed_solomon_codec.h"
#include "field/galois_field.h"
#include "test_support.h"

namespace {

// The array allocation that fails, counting from 1; 0 lets every one succeed.
long failingAllocation = 0;
long arrayAllocations = 0;

}  // namespace

void* operator new[](std::size_t size) {
    ++arrayAllocations;
    if (failingAllocation != 0 && arrayAllocations == failingAllocation) {
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace rs {
namespace {

// Arms the failure for the n-th array allocation from now on.
void FailAllocation(long n) {
    arrayAllocations = 0;
    failingAllocation = n;
}

class AllocationFailureTest : public ::testing::Test {
  protected:
    void TearDown() override { failingAllocation = 0; }
};

TEST_F(AllocationFailureTest, FieldRefusesAndKeepsItsEarlierTables) {
    GaloisField field;
    ASSERT_TRUE(field.Init(2, 4));
    for (long n = 1; n <= 3; ++n) {
        FailAllocation(n);
        EXPECT_FALSE(field.Init(2, 8)) << n;
        EXPECT_FALSE(field.IsReady());
        EXPECT_EQ(field.GetOrder(), 15);
        EXPECT_EQ(field.Multiply(2, 9), 1);
    }
}

TEST_F(AllocationFailureTest, CodecRefusesAtEveryAllocationAndRecovers) {
    ReedSolomonCodec codec;
    long failures = 0;
    for (long n = 1;; ++n) {
        FailAllocation(n);
        codec.Configure(8, 16);
        if (codec.IsReady()) {
            break;
        }
        ++failures;
    }
    // Three field tables, the generator and its working copy, eight work buffers.
    EXPECT_EQ(failures, 13);
    failingAllocation = 0;
    codec.Configure(4, 2);
    ASSERT_TRUE(codec.IsReady());
    const Symbol info[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    Symbol codeword[15];
    codec.Encode(info, codeword);
    EXPECT_EQ(codeword[0], 8);
    EXPECT_EQ(codeword[3], 9);
}

TEST_F(AllocationFailureTest, ProgramReportsEveryFailedAllocationAndLeavesResultsAlone) {
    const auto directory = testing::FreshTempFolder("allocation");
    std::ofstream(directory / "param.dat")
        << "Pmax=0.1\nPmin=0.1\nPstep=0.1\nmaxBlocks=2\nmaxErrorBlocks=2\nM=4\nT=2\n";

    int refusals = 0;
    for (long n = 1;; ++n) {
        std::ofstream(directory / "results.dat") << "earlier\n";
        testing::CapturingStream console;
        testing::CapturingStream errors;
        testing::ScriptedCounter counter({0, 1}, 1);
        // The reference engine's block arrays are the program's last array allocations.
        RunOptions options;
        options.monteCarlo.referenceEngine = true;
        const ProgramEnvironment environment{directory, console, errors, counter, [] {}, options};
        FailAllocation(n);
        const int status = RunProgram(environment);
        failingAllocation = 0;
        if (status == 0) {
            break;
        }
        ++refusals;
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(errors.text == "rs-sim: cannot build the code for M=4, T=2: out of memory\n" ||
                    errors.text ==
                        "rs-sim: cannot allocate the block buffers for n=15: out of memory\n")
            << errors.text;
        EXPECT_EQ(console.text, "");
        std::ifstream in(directory / "results.dat");
        std::stringstream kept;
        kept << in.rdbuf();
        EXPECT_EQ(kept.str(), "earlier\n");
    }
    // Thirteen for the code, four for the block arrays.
    EXPECT_EQ(refusals, 17);
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace rs
