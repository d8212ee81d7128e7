#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "engine/error_trap.h"
#include "support/recording_reporter.h"

using namespace quarrytab;

namespace {

TEST(ApplicationErrorText, HasTheFixedFourLineForm) {
    EXPECT_EQ(ApplicationErrorText("Permission denied",
                                   "in Quarrytab2021/08/31.Form1.PushButton8_Click ", 130),
              "Permission denied\r\nin Quarrytab2021/08/31.Form1.PushButton8_Click at line "
              "130\r\rPlease email screenshot of this message to support@quarrytab.example");
    // An empty description still gives the line break, so the text starts with an empty line.
    EXPECT_EQ(ApplicationErrorText("", "in X.Y ", 104).substr(0, 9), "\r\nin X.Y ");
}

TEST(StepTrap, ReportsEachFailedStepAndGoesOn) {
    RecordingReporter reporter;
    StepTrap trap(reporter, "in Quarrytab2021/08/31.Form1.PushButton2_Click ");
    std::vector<int> ran;
    EXPECT_FALSE(trap.step(104, [&] { throw Failure(5, "Invalid procedure call"); }));
    EXPECT_TRUE(trap.step(106, [&] { ran.push_back(106); }));
    EXPECT_FALSE(trap.step(108, [&] { throw std::runtime_error("disk gone"); }));
    EXPECT_TRUE(trap.step(110, [&] { ran.push_back(110); }));

    EXPECT_EQ(ran, (std::vector<int>{106, 110}));
    ASSERT_EQ(reporter.reports.size(), 2u);
    EXPECT_EQ(reporter.reports[0].location, "in Quarrytab2021/08/31.Form1.PushButton2_Click ");
    EXPECT_EQ(reporter.reports[0].line, 104);
    EXPECT_EQ(reporter.reports[0].number, 5);
    EXPECT_EQ(reporter.reports[0].description, "Invalid procedure call");
    EXPECT_EQ(reporter.reports[1].line, 108);
    EXPECT_EQ(reporter.reports[1].description, "disk gone");
}

TEST(StepTrap, FailureInsideAHelperCarriesTheCallersStep) {
    RecordingReporter reporter;
    StepTrap trap(reporter, "in Quarrytab2021/08/31.Form1.PushButton4_Click ");
    const auto helper = [] {
        throw std::length_error("too long");
    };
    trap.step(112, [&] { helper(); });
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].line, 112);
}

}  // namespace
