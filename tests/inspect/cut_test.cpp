// A record cut short, or refused by the element reader: quarvel-inspect says the decoder's whole message,
// its dump of every octet included, byte for byte as the message box lays it out, but writes it as it is
// made instead of holding it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "support/process.hpp"

namespace {

const std::string tool = QUARVEL_INSPECT_BINARY;

// A record of `lines` console lines of 40 octets, so that a cut dumps a long input.
std::string record_octets(int lines) {
    quarvel::execution_record r;
    r.job = {"a", "p", "s"};
    r.console.assign(static_cast<std::size_t>(lines), quarvel::console_line{5'000'000, std::string(40, 'x')});
    r.started = {1'704'164'645, 0};
    r.finished = {1'704'164'646, 0};
    r.result = quarvel::Exited{0};
    r.output = {{"out.txt", "x"}};
    return quarvel::asn::exec_to_str(r);
}

TEST(Cut, TheWholeMessageIsSaidAsTheDecoderGivesIt) {
    const std::string small = record_octets(1);
    const std::string large = record_octets(2000);
    const struct {
        const char* what;
        std::string bytes;
    } cases[]{
        {"nothing", ""},
        {"one octet", small.substr(0, 1)},
        {"cut inside a console line", small.substr(0, 50)},
        {"cut by one octet", small.substr(0, small.size() - 1)},
        {"a large record cut in its middle", large.substr(0, large.size() / 2)},
        // A header fault in a whole input: the dump is the parent's contents.
        {"a redundant length form", std::string("\x30\x06\x02\x01\x05\x04\x81\x05", 8)},
    };
    test::temp_dir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto message = quarvel::asn::exec_of_str(c.bytes);
        ASSERT_FALSE(message);
        for (const std::vector<std::string>& flags : {std::vector<std::string>{"--console"}, {"-q", "--job"}}) {
            std::vector<std::string> argv{tool};
            argv.insert(argv.end(), flags.begin(), flags.end());
            argv.push_back(dir.file("cut.der", c.bytes));
            const auto r = test::run(argv);
            EXPECT_EQ(r.status, 124);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, cli::message_line("quarvel-inspect", message.error()) + "\n");
        }
    }
}

}  // namespace
