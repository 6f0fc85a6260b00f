#include <gtest/gtest.h>

#include "record_text/job_line.hpp"

namespace {

TEST(JobLine, NameOnPlatformUnchanged) {
    EXPECT_EQ(record_text::job_line({"a", "no-platform", "echo"}), "a on no-platform");
    EXPECT_EQ(record_text::job_line({"", "", ""}), " on ");
    EXPECT_EQ(record_text::job_line({"x\ny", "p\"", ""}), "x\ny on p\"");
}

}  // namespace
