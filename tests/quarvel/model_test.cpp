#include <gtest/gtest.h>

#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

namespace quarvel {
namespace {

TEST(Job, NameOfEitherAlternative) {
    EXPECT_EQ(job_name(job{script_job{"a", "p", "s"}}), "a");
    EXPECT_EQ(job_name(job{vesk_build_job{"b", "hello"}}), "b");
}

TEST(Job, EqualityIsByNameOnly) {
    struct Case {
        job a, b;
        bool equal;
    };
    const Case cases[] = {
        {script_job{"x", "p", "s"}, vesk_build_job{"x", "pkg"}, true},
        {script_job{"x", "p", "s1"}, script_job{"x", "q", "s2"}, true},
        {script_job{"x", "p", "s"}, script_job{"X", "p", "s"}, false},
        {vesk_build_job{"", "a"}, vesk_build_job{"", "b"}, true},
        {vesk_build_job{"a", "pkg"}, vesk_build_job{"b", "pkg"}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(job_equal(c.a, c.b), c.equal) << job_name(c.a) << " / " << job_name(c.b);
}

TEST(Job, PlatformIsAbsentForVeskBuildJobs) {
    EXPECT_EQ(job_platform(job{script_job{"a", "no-platform", "s"}}), std::optional<std::string>("no-platform"));
    EXPECT_EQ(job_platform(job{script_job{"a", "", "s"}}), std::optional<std::string>(""));
    EXPECT_EQ(job_platform(job{vesk_build_job{"a", "pkg"}}), std::nullopt);
}

TEST(Model, AbsentOptionalsAreDistinctFromEmptyValues) {
    EXPECT_NE((cmd{cmd::Execute{"a", std::nullopt}}), (cmd{cmd::Execute{"a", ""}}));
    EXPECT_NE((cmd{cmd::Reschedule{"a", {}, std::nullopt}}), (cmd{cmd::Reschedule{"a", {}, period::Never}}));
    EXPECT_EQ(info{}, info{});
}

TEST(Version, NamesBothProtocolNumbers) {
    EXPECT_EQ(client_protocol_version, 13);
    EXPECT_EQ(worker_protocol_version, 5);
    ASSERT_TRUE(version.starts_with("version "));
    EXPECT_TRUE(version.ends_with(" protocol: client 13 worker 5"));
    EXPECT_EQ(version.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace quarvel
