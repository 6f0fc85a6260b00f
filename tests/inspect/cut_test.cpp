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

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow and quarantine would dominate the figure
// A record of 32 MiB cut by its last octet: its message, a dump of every octet, is written as it is made,
// so memory stays within 1.5 times the input and 64 MiB.
TEST(Cut, MemoryOfALargeCutRecordStaysInProportion) {
    std::string bytes = record_octets(1);
    quarvel::execution_record r = *quarvel::asn::exec_of_str(bytes);
    for (int i = 0; i < 8; ++i) r.output.push_back({"f" + std::to_string(i), std::string(4 << 20, 'y')});
    bytes = quarvel::asn::exec_to_str(r);
    bytes.pop_back();
    test::temp_dir dir;
    const auto run = test::run({tool, "--console", dir.file("cut.der", bytes)});
    EXPECT_EQ(run.status, 124);
    const auto message = quarvel::asn::exec_of_str(bytes);
    ASSERT_FALSE(message);
    EXPECT_EQ(run.err, cli::message_line("quarvel-inspect", message.error()) + "\n");
    const long input_kib = static_cast<long>(bytes.size() / 1024);
    EXPECT_LT(run.max_rss_kib, input_kib * 3 / 2 + 64 * 1024) << "peak " << run.max_rss_kib << " KiB";
}
#endif

}  // namespace
