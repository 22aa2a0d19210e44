// The status line on a terminal: shown under the text and gone before more text comes, so the
// screen ends as the text alone leaves it; and what it says.
#include "report/text/status_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "report/text/console_report.h"
#include "test_support.h"

namespace rs {
namespace {

TEST(StatusConsole, TheScreenEndsAsTheTextAloneLeavesIt) {
    testing::CapturingStream terminal;
    StatusConsole console(terminal, 40);
    // Stars one, two and three at a time, then a line shorter than the status.
    const std::vector<std::string_view> pieces = {"Reed-Solomon codes, n=15\n\nP0=5.00e-002\n",
                                                  "0%       Please wait      100%\n",
                                                  "*",
                                                  "**",
                                                  "***",
                                                  "\nSER\n"};
    std::string text;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        console.Write(pieces[i]);
        text.append(pieces[i]);
        if (i >= 2 && i + 1 < pieces.size()) {
            // A status too long for the terminal is cut; shown twice, it replaces itself.
            console.Show("1.00M blocks  12 errors  FER 1.20e-05 and more words than fit");
            console.Show("status " + std::to_string(i));
            const std::vector<std::string> shown = testing::Screen(terminal.text);
            ASSERT_GE(shown.size(), 2U);
            EXPECT_EQ(shown.back(), "status " + std::to_string(i));
            // The cursor is back at the end of the stars: what comes next extends them.
            EXPECT_EQ(testing::Screen(terminal.text + "#")[shown.size() - 2],
                      testing::Screen(text + "#").back());
        }
    }
    EXPECT_EQ(testing::Screen(terminal.text), testing::Screen(text));
    EXPECT_NE(terminal.text, text);
}

TEST(StatusText, SaysTheCountsTheRateAndTheNearerLimit) {
    const rs_sim::StopRules limits{1000000, 100};
    struct Case {
        rs_sim::Counts statistics;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        // The error blocks end the point first: 80 more at 20 in 4 s.
        {{.blocks = 4000, .errorBlocks = 20},
         4.0,
         "4000 blocks  20 errors  FER 5.00e-03 [3.1e-03, 7.7e-03]  1000/s  16s left"},
        // The block limit ends it first.
        {{.blocks = 250000, .errorBlocks = 1},
         2.5,
         "250k blocks  1 errors  FER 4.00e-06 [1.0e-07, 2.2e-05]  100k/s  8s left"},
        // No error block yet: only the block limit tells the time left, 26 271 s.
        {{.blocks = 123456, .errorBlocks = 0},
         3700.0,
         "123k blocks  0 errors  FER 0.00e+00 [0.0e+00, 3.0e-05]  33/s  7h17m left"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatusText(c.statistics, limits, c.seconds), c.text);
    }
}

// A dense point's estimate shows at once, before the point has run statusAfter; an estimate
// that could not be made shows nothing.
TEST(StatusText, ADensePointsEstimateShowsAtOnce) {
    testing::CapturingStream terminal;
    StatusConsole status(terminal, 120);
    testing::CapturingStream results;
    ConsoleReport report({.console = status,
                          .results = results,
                          .limits = {1000, 100},
                          .code = {},
                          .status = &status,
                          .statusAfter = 2.0,
                          .finished = {}});
    report.PointEstimated(0, std::nan(""), std::nan(""));
    EXPECT_EQ(terminal.text, "");
    report.PointEstimated(0, 0.25, 90.0);
    EXPECT_NE(terminal.text.find("dense point: about 0.25 s a block, 1m30s in all (estimated)"),
              std::string::npos)
        << terminal.text;
}

}  // namespace
}  // namespace rs
