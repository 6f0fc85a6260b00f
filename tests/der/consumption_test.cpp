// Reports of how far a decode has copied its input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include <der/consumption.hpp>
#include <der/grammar.hpp>

namespace {

// A SEQUENCE OF 100 UTF8Strings of 1 to 100 octets, and the end offset of each item in the encoding.
struct list_input {
    std::vector<std::string> items;
    std::string bytes;
    std::vector<std::size_t> item_ends;
};

list_input make_list() {
    list_input in;
    for (std::size_t i = 1; i <= 100; ++i) in.items.push_back(std::string(i, static_cast<char>('a' + i % 26)));
    const auto c = der::codec(der::sequence_of(der::utf8_string));
    in.bytes = der::encode(c, in.items);
    std::size_t at = 4;  // 30 82 xx xx
    for (const auto& item : in.items) {
        at += (item.size() < 128 ? 2 : 3) + item.size();
        in.item_ends.push_back(at);
    }
    EXPECT_EQ(at, in.bytes.size());
    return in;
}

TEST(Consumption, ReportsItemEndsInGrowingStepsWhileTheValueIsIntact) {
    const list_input in = make_list();
    const auto c = der::codec(der::sequence_of(der::utf8_string));
    for (const std::size_t step : {std::size_t{1}, std::size_t{500}, std::size_t{4000}, std::size_t{1} << 20}) {
        std::vector<std::size_t> reports;
        der::result<std::pair<std::vector<std::string>, std::string_view>> decoded = der::error("");
        {
            der::consumption_watch watch(in.bytes, step, [&](std::size_t n) { reports.push_back(n); });
            decoded = der::decode(c, in.bytes, {&watch});
        }
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(decoded->first, in.items);
        std::size_t last = 0;
        for (const std::size_t n : reports) {
            EXPECT_GE(n, last + step) << "step " << step;
            EXPECT_TRUE(std::find(in.item_ends.begin(), in.item_ends.end(), n) != in.item_ends.end()) << n;
            last = n;
        }
        if (step == 1) {
            EXPECT_EQ(reports, in.item_ends);
        }
        if (step > in.bytes.size()) {
            EXPECT_TRUE(reports.empty());
        }
    }
}

TEST(Consumption, NothingIsReportedOutsideTheWatchedDecodeOrForAnotherInput) {
    const list_input in = make_list();
    const std::string other = in.bytes;
    const auto c = der::codec(der::sequence_of(der::utf8_string));
    std::vector<std::size_t> reports;
    ASSERT_TRUE(der::decode(c, in.bytes));
    der::consumption_watch watch(in.bytes, 1, [&](std::size_t n) { reports.push_back(n); });
    ASSERT_TRUE(der::decode(c, other, {&watch}));
    ASSERT_TRUE(der::decode(c, in.bytes));
    EXPECT_TRUE(reports.empty());
    // The tape the decodes were lent is left without the watch.
    der::tape_lease lease;
    EXPECT_EQ(lease.get().watch, nullptr);
}

}  // namespace
