// A record read in place: the same record as the owned decode, its texts views into the input, the same
// refusals, and the same encoding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;

bool inside(std::string_view part, const std::string& whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

quarvel::execution_record busy_record() {
    quarvel::execution_record r = example_record();
    for (int i = 0; i < 300; ++i) r.console.push_back({i, std::string(static_cast<std::size_t>(i), 'c')});
    for (int i = 0; i < 5; ++i) r.output.push_back({"dir//f" + std::to_string(i), std::string(1000, 'o')});
    r.output.push_back({"empty", ""});
    return r;
}

TEST(RecordView, TheSameRecordWithItsTextsWhereTheyLie) {
    for (const std::string& bytes : {hex(example_record_hex), quarvel::asn::exec_to_str(busy_record())}) {
        const auto owned = quarvel::asn::exec_of_str(bytes);
        const auto view = quarvel::asn::exec_view_of_str(bytes);
        ASSERT_TRUE(owned) << owned.error();
        ASSERT_TRUE(view) << view.error().message;
        EXPECT_EQ(quarvel::to_record(*view), *owned);
        EXPECT_EQ(*view, quarvel::view_of(*owned));
        for (const auto& line : view->console) EXPECT_TRUE(inside(line.data, bytes));
        for (const auto& file : view->output) EXPECT_TRUE(inside(file.data, bytes));
        // Paths are checked and normalised as the owned decode does it.
        for (std::size_t i = 0; i < view->output.size(); ++i) EXPECT_EQ(view->output[i].path, owned->output[i].path);
        EXPECT_EQ(quarvel::asn::exec_view_to_str(*view), quarvel::asn::exec_to_str(*owned));
    }
}

TEST(RecordView, RefusesWhatTheOwnedDecodeRefusesAtTheSamePlace) {
    const auto with = [](auto change) {
        members m;
        change(m);
        return m.record();
    };
    const std::vector<std::string> inputs{
        std::string(),
        hex(example_record_hex) + '\0',
        with([](members& m) { m.uuid = utf8("0123"); }),
        with([](members& m) { m.console = sequence({sequence({hex("02 01 05"), hex("05 00")})}); }),
        with([](members& m) { m.output = sequence({sequence({utf8(""), utf8("x")})}); }),
        with([](members& m) { m.output = sequence({sequence({utf8("a"), hex("02 01 05")})}); }),
        hex("A1 02 05 00"),
    };
    for (const std::string& input : inputs) {
        const auto owned = quarvel::asn::exec_of_str_located(input);
        const auto view = quarvel::asn::exec_view_of_str(input);
        ASSERT_FALSE(owned);
        ASSERT_FALSE(view);
        EXPECT_EQ(view.error().message, owned.error().message);
        EXPECT_EQ(view.error().offset, owned.error().offset);
        EXPECT_EQ(view.error().path, owned.error().path);
    }
}

}  // namespace
