// The shipped sample record is the library's own output: the committed samples/hello.der equals what
// the encoder writes for the sample record now (regenerate with quarvel-make-samples when it changes).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include <quarvel/asn.hpp>

#include "../../samples/hello_record.hpp"

namespace {

TEST(Sample, CommittedRecordIsTheEncodersOutput) {
    std::ifstream in(QUARVEL_SOURCE_DIR "/samples/hello.der", std::ios::binary);
    ASSERT_TRUE(in) << "samples/hello.der is missing";
    const std::string committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(committed, quarvel::asn::exec_to_str(samples::hello_record()));

    const auto decoded = quarvel::asn::exec_of_str(committed);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, samples::hello_record());
}

}  // namespace
