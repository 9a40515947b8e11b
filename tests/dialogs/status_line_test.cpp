// The mailing dialog's status line and the dialogs' number fields: the
// remaining time from the job's share done and time spent, its display, and
// numbers typed beyond what an int holds.
#include "dialogs/decimal_field.h"
#include "dialogs/main_dialog_parts.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string Line(const char* status, int remaining) {
    char line[600];
    FormatStatusLine(line, sizeof line, status, remaining);
    return line;
}

TEST(StatusLine, TheRemainingTimeFollowsTheShareDoneAndSaturates) {
    EXPECT_EQ(RemainingSeconds(50.0, 60000), 60);
    EXPECT_EQ(RemainingSeconds(0.0, 60000), -1);
    EXPECT_EQ(RemainingSeconds(0.09, 60000), -1);
    EXPECT_EQ(RemainingSeconds(0.1, 4000), 3996);
    EXPECT_EQ(RemainingSeconds(100.0, 60000), 0);
    // Truncated toward zero: 33.3 s left.
    EXPECT_EQ(RemainingSeconds(75.0, 100000), 33);
    // 49 days into a job at a tenth of a per cent: more seconds than an int holds.
    EXPECT_EQ(RemainingSeconds(0.1, 0xFFFFFFFFu), INT_MAX);
    EXPECT_EQ(RemainingSeconds(-0.1, 0xFFFFFFFFu), INT_MIN);
}

TEST(StatusLine, TheTimeShowsAsHoursMinutesAndSecondsBehindTwoBlanks) {
    EXPECT_EQ(Line("2 of 4: Creating Message", 60),
              "2 of 4: Creating Message  (Remaining Time: 0:01:00)");
    EXPECT_EQ(Line("x", 45296), "x  (Remaining Time: 12:34:56)");
    EXPECT_EQ(Line("x", 360000), "x  (Remaining Time: 100:00:00)");
    EXPECT_EQ(Line("x", INT_MAX), "x  (Remaining Time: 596523:14:07)");
    EXPECT_EQ(Line("Reading Mailing List", -1), "Reading Mailing List");
}

TEST(DecimalField, ReadsLeadingDigitsAndSaturatesBeyondTheIntRange) {
    EXPECT_EQ(ReadDecimalField(""), 0);
    EXPECT_EQ(ReadDecimalField("abc"), 0);
    EXPECT_EQ(ReadDecimalField("  42x7"), 42);
    EXPECT_EQ(ReadDecimalField("-5"), -5);
    EXPECT_EQ(ReadDecimalField("+9999"), 9999);
    EXPECT_EQ(ReadDecimalField("2147483647"), INT_MAX);
    EXPECT_EQ(ReadDecimalField("2147483648"), INT_MAX);
    // Digits that would wrap to a small number stay out of range.
    EXPECT_EQ(ReadDecimalField("4294967296"), INT_MAX);
    EXPECT_EQ(ReadDecimalField("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadDecimalField("-2147483648"), INT_MIN);
    EXPECT_EQ(ReadDecimalField("-99999999999"), INT_MIN);
}

} // namespace
