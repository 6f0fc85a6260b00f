// The shipped samples are the library's own output: the committed samples/hello.der, state.der and
// session.frames equal what the encoder writes for them now (regenerate with quarvel-make-samples when
// they change).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include <quarvel/asn.hpp>

#include "../../samples/hello_record.hpp"
#include "../../samples/operator_samples.hpp"

namespace {

std::string committed_sample(const std::string& name) {
    std::ifstream in(QUARVEL_SOURCE_DIR "/samples/" + name, std::ios::binary);
    EXPECT_TRUE(in) << "samples/" << name << " is missing";
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Sample, CommittedRecordIsTheEncodersOutput) {
    std::ifstream in(QUARVEL_SOURCE_DIR "/samples/hello.der", std::ios::binary);
    ASSERT_TRUE(in) << "samples/hello.der is missing";
    const std::string committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(committed, quarvel::asn::exec_to_str(samples::hello_record()));

    const auto decoded = quarvel::asn::exec_of_str(committed);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, samples::hello_record());
}

TEST(Sample, CommittedStateIsTheEncodersOutput) {
    const std::string committed = committed_sample("state.der");
    EXPECT_EQ(committed, quarvel::asn::state_to_str(samples::scheduler_state()));
    const auto decoded = quarvel::asn::state_of_str(committed);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, samples::scheduler_state());
}

TEST(Sample, CommittedCaptureIsTheEncodersOutput) {
    EXPECT_EQ(committed_sample("session.frames"), samples::session_capture());
    for (const auto& c : samples::session_commands()) {
        const auto decoded = quarvel::asn::cmd_of_str(quarvel::asn::cmd_to_str(c));
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(*decoded, c);
    }
}

}  // namespace
