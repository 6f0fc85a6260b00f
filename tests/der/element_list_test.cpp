// Layout of element lists inside messages: items joined by ", " and breaks that become line feeds at the
// 78-column margin, every line after the first starting under the first item.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <der/dump.hpp>
#include <der/element.hpp>

namespace {

TEST(ElementList, ItemsCommasAndBreaks) {
    const der::element null{der::tags::null, der::form::primitive, {}};
    const der::element seq{der::tags::sequence, der::form::constructed, {}};
    EXPECT_EQ(der::element_list({}, 20), "[]");
    EXPECT_EQ(der::element_list({null}, 20), "[(Primitive UNIVERSAL 5)]");
    EXPECT_EQ(der::element_list({null, seq}, 20), "[(Primitive UNIVERSAL 5), (Constructed UNIVERSAL 16)]");
    // From column 20 the third item would pass the margin: it starts a new line under the first item.
    EXPECT_EQ(der::element_list({seq, seq, seq, null}, 20),
              "[(Constructed UNIVERSAL 16), (Constructed UNIVERSAL 16),\n" + std::string(21, ' ') +
                  "(Constructed UNIVERSAL 16), (Primitive UNIVERSAL 5)]");
}

TEST(ElementList, LongListsFitTheMargin) {
    const std::vector<der::element> many(10'000, der::element{der::context(22), der::form::constructed, {}});
    const std::string text = der::element_list(many, 20);
    std::istringstream lines(text);
    std::string line;
    std::size_t items = 0, count = 0;
    while (std::getline(lines, line)) {
        EXPECT_LE((count == 0 ? 20 : 0) + line.size(), der::margin);
        for (std::size_t at = 0; (at = line.find("(Constructed CONTEXT 22)", at)) != std::string::npos; ++at) ++items;
        ++count;
    }
    EXPECT_EQ(items, many.size());
    EXPECT_GT(count, 1u);
}

}  // namespace
