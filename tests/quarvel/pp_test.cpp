#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

#include <quarvel/pp.hpp>
#include <quarvel_toolkit/escape.hpp>

namespace quarvel {
namespace {

uuid uuid_of(std::string_view text) {
    uuid u;
    std::size_t octet = 0;
    for (std::size_t i = 0; i + 1 < text.size() && octet < 16;) {
        if (text[i] == '-') {
            ++i;
            continue;
        }
        const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        u.octets[octet++] = static_cast<std::uint8_t>(nibble(text[i]) * 16 + nibble(text[i + 1]));
        i += 2;
    }
    return u;
}

timestamp at(int year, int month, int day, int hour, int minute, int second, std::uint32_t nanoseconds = 0) {
    return quarvel::der::from_civil({year, month, day, hour, minute, second}, nanoseconds);
}

const uuid sample_uuid = uuid_of("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
const std::string sample_uuid_text = "6ba7b810-9dad-11d1-80b4-00c04fd430c8";
const script_job nightly{"nightly", "freebsd-14", "make world"};
const vesk_build_job pkg_hello{"pkg-hello", "hello"};

template <class T, class Printer>
std::string text_of(Printer print, const T& value) {
    return render([&](formatter& f) { print(f, value); });
}

// Basic values.

TEST(TextForms, Uuid) {
    EXPECT_EQ(uuid_text(sample_uuid), sample_uuid_text);
    EXPECT_EQ(uuid_text(uuid{}), "00000000-0000-0000-0000-000000000000");
    uuid all_ones;
    all_ones.octets.fill(0xff);
    EXPECT_EQ(uuid_text(all_ones), "ffffffff-ffff-ffff-ffff-ffffffffffff");
    EXPECT_EQ(text_of(pp_uuid, sample_uuid), sample_uuid_text);
}

TEST(TextForms, Timestamp) {
    struct Case {
        timestamp t;
        const char* expected;
    };
    const Case cases[] = {
        {at(2024, 5, 1, 12, 0, 0), "2024-05-01T12:00:00-00:00"},
        {at(2024, 1, 2, 3, 4, 5), "2024-01-02T03:04:05-00:00"},
        {at(2024, 1, 2, 3, 4, 5, 999'999'999), "2024-01-02T03:04:05-00:00"},  // the fraction is dropped
        {at(1969, 12, 31, 23, 59, 59, 500'000'000), "1969-12-31T23:59:59-00:00"},  // toward the past
        {at(2024, 2, 29, 23, 59, 59), "2024-02-29T23:59:59-00:00"},
        {at(0, 1, 1, 0, 0, 0), "0000-01-01T00:00:00-00:00"},
        {at(9999, 12, 31, 23, 59, 59, 999'999'999), "9999-12-31T23:59:59-00:00"},
        {timestamp{}, "1970-01-01T00:00:00-00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timestamp_text(c.t), c.expected);
        EXPECT_EQ(text_of(pp_timestamp, c.t), c.expected);
    }
}

TEST(TextForms, TimestampOutsideTheYearRangeStillPrints) {
    // The decoders refuse such instants; a value built in code must still print without undefined behaviour.
    for (const std::int64_t seconds : {INT64_MIN, INT64_MAX, quarvel::der::min_timestamp_seconds - 1, quarvel::der::max_timestamp_seconds + 1})
        EXPECT_TRUE(timestamp_text(timestamp{seconds, 999'999'999}).ends_with("-00:00")) << seconds;
}

TEST(TextForms, Duration) {
    struct Case {
        std::uint64_t nanoseconds;
        const char* expected;
    };
    const Case cases[] = {
        {0, "0.000\xCE\xBCs"},
        {999, "0.999\xCE\xBCs"},
        {1'000, "1.000\xCE\xBCs"},
        {1'500, "1.500\xCE\xBCs"},
        {999'999, "999.999\xCE\xBCs"},
        {1'000'000, "1.000ms"},
        {12'345'678, "12.345ms"},
        {999'999'999, "999.999ms"},
        {1'000'000'000, "1.000s"},
        {7'250'999'999, "7.250s"},
        {59'999'999'999, "59.999s"},
        {60'000'000'000, "1m00s"},
        {307'999'999'999, "5m07s"},
        {3'599'999'999'999, "59m59s"},
        {3'600'000'000'000, "1h00m"},
        {7'500'000'000'000, "2h05m"},
        {86'399'999'999'999, "23h59m"},
        {86'400'000'000'000, "1d00h"},
        {277'200'000'000'000, "3d05h"},
        {31'557'599'999'999'999, "365d05h"},  // a year is 365.25 days
        {31'557'600'000'000'000, "1a0d"},
        {64'584'000'000'000'000, "2a17d"},
        {9'223'372'036'854'775'808u, "292a98d"},  // 2^63 ns follows the same rules
        {18'446'744'073'709'551'615u, "584a197d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(duration_text(duration{c.nanoseconds}), c.expected) << c.nanoseconds;
        EXPECT_EQ(text_of(pp_duration, duration{c.nanoseconds}), c.expected) << c.nanoseconds;
    }
}

TEST(TextForms, Quoted) {
    struct Case {
        std::string_view text;
        std::string_view expected;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"", R"("")"},
        {"plain text ~!", R"("plain text ~!")"},
        {"say \"hi\"\t\xC8", R"("say \"hi\"\t\200")"},
        {"a\\b\nc\rd\be", R"("a\\b\nc\rd\be")"},
        {"\x07\x1f\x7f\x80\xff", R"("\007\031\127\128\255")"},
        {"\0x"sv, R"("\000x")"},
        {"caf\xC3\xA9", R"("caf\195\169")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quoted(c.text), c.expected);
        EXPECT_EQ(text_of(pp_quoted, c.text), c.expected);
    }

    // Long texts: runs kept eight bytes at a time, escapes at every offset, the printer's pieces.
    std::string text, expected = "\"";
    for (int i = 0; i < 100; ++i) {
        text += "plain te\xff";
        expected += "plain te\\255";
    }
    expected += "\"";
    EXPECT_EQ(quarvel::quoted(text), expected);
    EXPECT_EQ(text_of(pp_quoted, text), expected);
}

// The quoted form byte by byte, from its documented rule: space to tilde as it is, but for the quotation
// mark and the backslash; those two and line feed, tab, carriage return and backspace as \" \\ \n \t \r \b;
// every other byte as a backslash and three decimal digits.
std::string reference_escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\b': out += "\\b"; break;
        default:
            if (byte >= ' ' && byte <= '~') {
                out += c;
            } else {
                char digits[5];
                std::snprintf(digits, sizeof digits, "\\%03u", byte);
                out += digits;
            }
        }
    }
    return out;
}

// write_escaped on a copy of `text` in a heap block of its exact size, into room of exactly four bytes per
// byte: the sanitizers catch any read past the input and any write past the room.
std::string escaped(std::string_view text) {
    const auto input = std::make_unique_for_overwrite<char[]>(text.size());
    std::ranges::copy(text, input.get());
    const auto room = std::make_unique_for_overwrite<char[]>(4 * text.size());
    char* const end = write_escaped(room.get(), std::string_view(input.get(), text.size()));
    EXPECT_LE(end - room.get(), static_cast<std::ptrdiff_t>(4 * text.size()));
    return std::string(room.get(), end);
}

TEST(TextForms, ReferenceEscapeMatchesTheDocumentedForms) {
    using namespace std::string_view_literals;
    EXPECT_EQ(reference_escape("\0\b\t\n\r\x1f \"'\\~\x7f\x80\xff"sv), R"(\000\b\t\n\r\031 \"'\\~\127\128\255)");
}

TEST(TextForms, EscapesEveryByteAtEveryPlace) {
    // Each length up to 40 crosses the word and block boundaries; every byte value goes at every place, among
    // bytes kept as they are and among bytes that are all escaped.
    using namespace std::string_literals;
    const std::string kept = "The quick brown fox jumps over the lazy dog, 0123456789.";
    const std::string all_escaped = "\"\\\n\t\r\b\x01\x7f\x80\xff\x1f\x00"s;
    for (const std::string* filler : {&kept, &all_escaped})
        for (std::size_t length = 0; length <= 40; ++length) {
            std::string text(length, ' ');
            for (std::size_t i = 0; i < length; ++i) text[i] = (*filler)[i % filler->size()];
            ASSERT_EQ(escaped(text), reference_escape(text)) << length;
            for (std::size_t place = 0; place < length; ++place)
                for (int byte = 0; byte < 256; ++byte) {
                    std::string one = text;
                    one[place] = static_cast<char>(byte);
                    ASSERT_EQ(escaped(one), reference_escape(one)) << "length " << length << ", byte " << byte
                                                                   << " at " << place;
                }
        }
}

TEST(TextForms, EscapesNearTheEndsOfLongTexts) {
    std::string line;
    for (int i = 0; i < 100; ++i) line += "console output " + std::to_string(i) + ", ";
    const std::size_t n = line.size();
    // Escapes at and beside the first and last bytes, and at the edges of the first and last blocks.
    const std::size_t places[] = {0, 1, 7, 8, 15, 16, 17, 31, 32,
                                  n - 33, n - 17, n - 16, n - 15, n - 9, n - 8, n - 2, n - 1};
    for (const char byte : {'"', '\\', '\n', '\t', '\x00', '\x7f', '\xc3'}) {
        std::string text = line;
        for (const std::size_t place : places) {
            std::string one = line;
            one[place] = byte;
            EXPECT_EQ(escaped(one), reference_escape(one)) << static_cast<int>(byte) << " at " << place;
            text[place] = byte;
        }
        EXPECT_EQ(escaped(text), reference_escape(text)) << static_cast<int>(byte);
    }
    // A console line ending in a line feed: its one escape is its last byte.
    EXPECT_EQ(escaped(line + '\n'), line + "\\n");

    // Long runs of escapes, runs of kept bytes between them of every length up to two blocks, and all bytes.
    std::string runs, expected;
    for (std::size_t run = 0; run <= 32; ++run) {
        runs += std::string(run, 'k') + "\xe2\x82\xac\"";
        expected += std::string(run, 'k') + R"(\226\130\172\")";
    }
    EXPECT_EQ(escaped(runs), expected);
    std::string every_byte;
    for (int round = 0; round < 3; ++round)
        for (int byte = 0; byte < 256; ++byte) every_byte += static_cast<char>(byte);
    EXPECT_EQ(escaped(every_byte), reference_escape(every_byte));
    EXPECT_EQ(reference_escape(every_byte).size(), 3u * (93 + 6 * 2 + 157 * 4));
}

TEST(TextForms, Integer) {
    EXPECT_EQ(text_of(pp_integer, std::int64_t{0}), "0");
    EXPECT_EQ(text_of(pp_integer, std::int64_t{-17}), "-17");
    EXPECT_EQ(text_of(pp_integer, INT64_MIN), "-9223372036854775808");
}

// Printers of the data model.

TEST(Printers, Data) {
    EXPECT_EQ(text_of(pp_data, data{}), "");
    EXPECT_EQ(text_of(pp_data, data{{"bin/hello", std::string(10240, 'x')}}), "bin/hello: 10240");
    EXPECT_EQ(text_of(pp_data, data{{"bin/hello", std::string(10240, 'x')}, {"README", std::string(312, 'r')}}),
              "bin/hello: 10240\nREADME: 312");
    // The length in bytes, never the contents.
    EXPECT_EQ(text_of(pp_data, data{{"a", "\xE2\x82\xAC"}, {"a", ""}}), "a: 3\na: 0");
}

TEST(Printers, JobsResultsPeriods) {
    EXPECT_EQ(text_of(pp_script_job, nightly), "name nightly on freebsd-14");
    EXPECT_EQ(text_of(pp_vesk_build_job, pkg_hello), "name pkg-hello, opam hello");
    EXPECT_EQ(text_of(pp_job, job{nightly}), "name nightly on freebsd-14");
    EXPECT_EQ(text_of(pp_job, job{pkg_hello}), "name pkg-hello, opam hello");

    EXPECT_EQ(text_of(pp_execution_result, execution_result{Exited{0}}), "exited 0");
    EXPECT_EQ(text_of(pp_execution_result, execution_result{Exited{-1}}), "exited -1");
    EXPECT_EQ(text_of(pp_execution_result, execution_result{Signalled{9}}), "signalled 9");
    EXPECT_EQ(text_of(pp_execution_result, execution_result{Stopped{19}}), "stopped 19");
    EXPECT_EQ(text_of(pp_execution_result, execution_result{Msg{"worker lost"}}), "execution aborted: worker lost");

    EXPECT_EQ(text_of(pp_period, period::Hourly), "hourly");
    EXPECT_EQ(text_of(pp_period, period::Daily), "daily");
    EXPECT_EQ(text_of(pp_period, period::Weekly), "weekly");
    EXPECT_EQ(text_of(pp_period, period::Never), "never");

    EXPECT_EQ(text_of(pp_schedule_item, schedule_item{at(2024, 5, 1, 12, 0, 0), period::Daily, nightly}),
              "name nightly on freebsd-14 next 2024-05-01T12:00:00-00:00, scheduled daily");
}

TEST(Printers, TripleGivesTheFirstPrinterTheLastComponent) {
    const auto labelled = [](const char* label) {
        return [label](formatter& f, int value) {
            f.text(label);
            pp_integer(f, value);
        };
    };
    const auto print = triple([](formatter& f) { f.text("|"); }, labelled("p1="), labelled("p2="), labelled("p3="));
    EXPECT_EQ(text_of(print, std::tuple{1, 2, 3}), "p1=3|p2=2|p3=1");
}

script_job on_freebsd(const char* name) { return {name, "freebsd-14", ""}; }

TEST(Printers, InfoTenLineExample) {
    const info overview{
        {{at(2024, 5, 1, 12, 0, 0), period::Daily, nightly}, {at(2024, 5, 2, 0, 0, 0), period::Weekly, pkg_hello}},
        {{"freebsd-14", {on_freebsd("job-a"), on_freebsd("job-b"), on_freebsd("job-c")}}},
        {{at(2024, 5, 1, 12, 0, 5), sample_uuid, nightly}},
        {"arm64-old"},
    };
    EXPECT_EQ(text_of(pp_info, overview),
              "dropped platforms: arm64-old\n"
              "schedule:\n"
              "name nightly on freebsd-14 next 2024-05-01T12:00:00-00:00, scheduled daily;\n"
              "name pkg-hello, opam hello next 2024-05-02T00:00:00-00:00, scheduled weekly\n"
              "queues:\n"
              "freebsd-14: name job-a on freebsd-14; name job-b on freebsd-14;\n"
              "name job-c on freebsd-14\n"
              "running:\n"
              "name nightly on freebsd-14,6ba7b810-9dad-11d1-80b4-00c04fd430c8,\n"
              "2024-05-01T12:00:05-00:00\n");
}

TEST(Printers, InfoSections) {
    struct Case {
        const char* why;
        info overview;
        std::string expected;
    };
    const std::string empty_tail = "schedule:\n\nqueues:\n\nrunning:\n\n";
    const Case cases[] = {
        {"all lists empty: seven lines", {}, "dropped platforms: \n" + empty_tail},
        {"two dropped platforms: the last one starts a new line", {{}, {}, {}, {"arm64-old", "sparc"}},
         "dropped platforms: arm64-old\nsparc\n" + empty_tail},
        {"three dropped platforms", {{}, {}, {}, {"a", "b", "c"}}, "dropped platforms: a b\nc\n" + empty_tail},
        {"a queue with one job: the job on the next line", {{}, {{"freebsd-14", {on_freebsd("job-a")}}}, {}, {}},
         "dropped platforms: \nschedule:\n\nqueues:\nfreebsd-14:\nname job-a on freebsd-14\nrunning:\n\n"},
        {"a queue with three short jobs",
         {{}, {{"p", {script_job{"a", "p", ""}, script_job{"b", "p", ""}, vesk_build_job{"c", "c"}}}}, {}, {}},
         "dropped platforms: \nschedule:\n\nqueues:\np: name a on p; name b on p;\nname c, opam c\nrunning:\n\n"},
        {"a queue with no jobs: an empty line after the colon; queues are separated by line ends",
         {{}, {{"p", {}}, {"q", {script_job{"a", "q", ""}}}}, {}, {}},
         "dropped platforms: \nschedule:\n\nqueues:\np:\n\nq:\nname a on q\nrunning:\n\n"},
        {"short running entries still put the start time on the next line",
         {{}, {}, {{at(2024, 5, 1, 12, 0, 5), sample_uuid, script_job{"j", "p", ""}}, {at(2024, 5, 1, 12, 0, 6), uuid{}, script_job{"k", "p", ""}}}, {}},
         "dropped platforms: \nschedule:\n\nqueues:\n\nrunning:\n"
         "name j on p,6ba7b810-9dad-11d1-80b4-00c04fd430c8,\n2024-05-01T12:00:05-00:00;\n"
         "name k on p,00000000-0000-0000-0000-000000000000,\n2024-05-01T12:00:06-00:00\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of(pp_info, c.overview), c.expected) << c.why;
}

TEST(Printers, CmdTemplates) {
    const timestamp noon = at(2024, 5, 1, 12, 0, 0);
    const std::string u = "[" + sample_uuid_text + "]";
    struct Case {
        cmd command;
        std::string expected;
    };
    const Case cases[] = {
        {{cmd::Job_request{"freebsd-14"}}, "job request on freebsd-14"},
        {{cmd::Job_schedule{sample_uuid, nightly}}, u + " job schedule name nightly on freebsd-14"},
        {{cmd::Job_finished{sample_uuid, Signalled{9}, {{"out.log", std::string(77, 'o')}}}},
         u + " job finished with signalled 9: out.log: 77"},
        {{cmd::Job_finished{sample_uuid, Exited{0}, {{"a", "1"}, {"b", "22"}}}}, u + " job finished with exited 0: a: 1\nb: 2"},
        {{cmd::Job_finished{sample_uuid, Msg{"gone"}, {}}}, u + " job finished with execution aborted: gone: "},
        {{cmd::Output{sample_uuid, "say \"hi\"\n"}}, u + R"( "say \"hi\"\n")"},
        {{cmd::Output_timestamped{sample_uuid, duration{1'500}, "x"}}, u + " 1.500\xCE\xBCs: \"x\""},
        {{cmd::Schedule{period::Daily, nightly}}, "schedule at daily: name nightly on freebsd-14"},
        {{cmd::Unschedule{"nightly"}}, "unschedule nightly"},
        {{cmd::Info{}}, "info"},
        {{cmd::Observe{sample_uuid}}, "observe " + sample_uuid_text},
        {{cmd::Execute{"nightly", std::nullopt}}, "execute nightly on any platform"},
        {{cmd::Execute{"nightly", ""}}, "execute nightly on "},
        {{cmd::Execute{"nightly", "linux"}}, "execute nightly on linux"},
        {{cmd::Schedule_vesk_build{period::Weekly, pkg_hello}}, "schedule vesk build at weekly: name pkg-hello, opam hello"},
        {{cmd::Reschedule{"nightly", noon, std::nullopt}}, "reschedule nightly: 2024-05-01T12:00:00-00:00"},
        {{cmd::Reschedule{"nightly", noon, period::Weekly}}, "reschedule nightly at weekly: 2024-05-01T12:00:00-00:00"},
        {{cmd::Reschedule{"nightly", noon, period::Never}}, "reschedule nightly at never: 2024-05-01T12:00:00-00:00"},
        {{cmd::Drop_platform{"sparc"}}, "drop platform sparc"},
        {{cmd::Undrop_platform{"sparc"}}, "undrop platform sparc"},
        {{cmd::Client_hello{client_or_worker::Worker, 5}}, "client hello worker 5"},
        {{cmd::Client_hello{client_or_worker::Client, 13}}, "client hello client 13"},
        {{cmd::Server_hello{}}, "server hello"},
        {{cmd::Success{}}, "success"},
        {{cmd::Failure{"no such job"}}, "failure no such job"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of(pp_cmd, c.command), c.expected);
}

TEST(Printers, InfoReplyStartsTheOverviewOnItsOwnLine) {
    const info overview{{}, {}, {}, {"arm64-old"}};
    EXPECT_EQ(text_of(pp_cmd, cmd{cmd::Info_reply{overview}}),
              "info:\ndropped platforms: arm64-old\nschedule:\n\nqueues:\n\nrunning:\n\n");
}

TEST(Printers, StateItems) {
    EXPECT_EQ(text_of(pp_state_item, state_item{state_item::Queue{"freebsd-14", {on_freebsd("a"), vesk_build_job{"b", "b"}}}}),
              "queue platform freebsd-14 jobs name a on freebsd-14, name b, opam b");
    EXPECT_EQ(text_of(pp_state_item, state_item{state_item::Queue{"p", {}}}), "queue platform p jobs ");
    EXPECT_EQ(text_of(pp_state_item, state_item{state_item::Schedule{{at(2024, 5, 1, 12, 0, 0), period::Hourly, pkg_hello}}}),
              "schedule name pkg-hello, opam hello next 2024-05-01T12:00:00-00:00, scheduled hourly");
    EXPECT_EQ(text_of(pp_state_item, state_item{state_item::Dropped_platform{"sparc"}}), "dropped platform sparc");
}

TEST(Printers, StateFillsLinesUpToTheMargin) {
    const state_item dropped{state_item::Dropped_platform{"linux-x86_64"}};
    const std::string item = "dropped platform linux-x86_64";  // 29 bytes
    EXPECT_EQ(text_of(pp_state, state{}), "");
    EXPECT_EQ(text_of(pp_state, state{dropped}), item);
    // Finishing the string turns the open hint before the last item into a line feed.
    EXPECT_EQ(text_of(pp_state, state{dropped, dropped}), item + ";\n" + item);
    // Two items and a hint fill 61 columns; the third item's first token (18 wide with its hint) reaches the
    // 17 columns left, so the hint breaks before any more of it is written.
    EXPECT_EQ(text_of(pp_state, state(5, dropped)),
              item + "; " + item + ";\n" + item + "; " + item + ";\n" + item);
}

TEST(Printers, StateOnAStreamEndsWithTheCallersLineEnd) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        formatter f(file);
        pp_state(f, state{state_item{state_item::Dropped_platform{"a"}}, state_item{state_item::Dropped_platform{"b"}}});
        f.line_end();
    }
    std::rewind(file);
    char buffer[64] = {};
    const auto n = std::fread(buffer, 1, sizeof buffer - 1, file);
    EXPECT_EQ(std::string(buffer, n), "dropped platform a;\ndropped platform b\n");
    std::fclose(file);
}

}  // namespace
}  // namespace quarvel
