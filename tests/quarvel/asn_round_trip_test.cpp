// Generated values of every type decode back to themselves, in the form the codecs keep: timestamps at
// whole milliseconds, paths without runs of "/", durations below 2^62 ns or read from a negative INTEGER.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <der/primitives.hpp>
#include <quarvel/asn.hpp>

namespace {

using namespace quarvel;

struct generator {
    std::mt19937_64 rng{0x5eed};

    std::uint64_t below(std::uint64_t n) { return rng() % n; }
    bool coin() { return below(2) == 0; }
    template <class T, class F>
    std::vector<T> list(F make, std::uint64_t max = 4) {
        std::vector<T> out(below(max + 1));
        for (auto& x : out) x = make();
        return out;
    }

    // Odd octets on purpose: NUL, high octets, line ends, quotes, separators.
    char octet() {
        static constexpr char pool[] = {'\0', '\xff', '\x80', '\n', '\r', '"', '\\', '/', 'a', 'Z', ' ', '\x7f'};
        return coin() ? pool[below(sizeof pool)] : static_cast<char>(below(256));
    }
    std::string text(std::uint64_t max = 12) {
        std::string s(below(max + 1), ' ');
        for (char& c : s) c = octet();
        return s;
    }
    std::string path() {
        static constexpr const char* prefixes[] = {"", "/", "//"};
        std::string p = prefixes[below(3)];
        const std::uint64_t segments = 1 + below(3);
        for (std::uint64_t i = 0; i < segments; ++i) {
            if (i > 0) p += '/';
            std::string segment = "s";
            for (std::uint64_t n = below(6); n > 0; --n) {
                const char c = octet();
                if (c != '/' && c != '\0') segment += c;
            }
            p += segment;
        }
        if (coin()) p += '/';
        return p;
    }
    std::int64_t integer() {
        switch (below(3)) {
        case 0: return static_cast<std::int64_t>(below(256)) - 128;
        case 1: return der::min_integer;
        default: return der::min_integer + static_cast<std::int64_t>(below(std::uint64_t{1} << 63));
        }
    }
    timestamp time() {
        const auto span = static_cast<std::uint64_t>(der::max_timestamp_seconds - der::min_timestamp_seconds + 1);
        return {der::min_timestamp_seconds + static_cast<std::int64_t>(below(span)),
                coin() ? 0 : static_cast<std::uint32_t>(below(1000)) * 1'000'000};
    }
    duration span() {
        // Below 2^62, or the pattern of a negative INTEGER of the 63-bit range.
        const std::uint64_t magnitude = below(std::uint64_t{1} << 62);
        return {coin() ? magnitude : ~magnitude};
    }
    quarvel::uuid id() {
        quarvel::uuid u;
        for (auto& o : u.octets) o = static_cast<std::uint8_t>(below(256));
        return u;
    }
    script_job sjob() { return {text(), coin() ? "no-platform" : text(), text(40)}; }
    vesk_build_job vjob() { return {text(), text()}; }
    job any_job() { return coin() ? job{sjob()} : job{vjob()}; }
    quarvel::period every() { return static_cast<quarvel::period>(below(4)); }
    quarvel::data files() {
        return list<output_file>([&] { return output_file{path(), text(30)}; });
    }
    execution_result result() {
        switch (below(4)) {
        case 0: return Exited{integer()};
        case 1: return Signalled{integer()};
        case 2: return Stopped{integer()};
        default: return Msg{text()};
        }
    }
    schedule_item scheduled() { return {time(), every(), any_job()}; }
    quarvel::info overview() {
        return {list<schedule_item>([&] { return scheduled(); }),
                list<queue_entry>([&] { return queue_entry{text(), list<job>([&] { return any_job(); })}; }),
                list<running_entry>([&] { return running_entry{time(), id(), sjob()}; }),
                list<std::string>([&] { return text(); })};
    }
    execution_record record() {
        return {sjob(), id(), list<console_line>([&] { return console_line{integer(), text()}; }, 6),
                time(),  time(), result(), files()};
    }
    state_item item() {
        switch (below(3)) {
        case 0: return {state_item::Queue{text(), list<job>([&] { return any_job(); })}};
        case 1: return {state_item::Schedule{scheduled()}};
        default: return {state_item::Dropped_platform{text()}};
        }
    }
    // The alternative with index `which`, in the order of the model.
    cmd command(std::size_t which) {
        switch (which) {
        case 0: return {cmd::Job_request{text()}};
        case 1: return {cmd::Job_schedule{id(), sjob()}};
        case 2: return {cmd::Job_finished{id(), result(), files()}};
        case 3: return {cmd::Output{id(), text()}};
        case 4: return {cmd::Output_timestamped{id(), span(), text()}};
        case 5: return {cmd::Schedule{every(), sjob()}};
        case 6: return {cmd::Unschedule{text()}};
        case 7: return {cmd::Info{}};
        case 8: return {cmd::Info_reply{overview()}};
        case 9: return {cmd::Observe{id()}};
        case 10: return {cmd::Execute{text(), coin() ? std::optional(text()) : std::nullopt}};
        case 11: return {cmd::Schedule_vesk_build{every(), vjob()}};
        case 12: return {cmd::Reschedule{text(), time(), coin() ? std::optional(every()) : std::nullopt}};
        case 13: return {cmd::Drop_platform{text()}};
        case 14: return {cmd::Undrop_platform{text()}};
        case 15: return {cmd::Client_hello{coin() ? client_or_worker::Client : client_or_worker::Worker, integer()}};
        case 16: return {cmd::Server_hello{}};
        case 17: return {cmd::Success{}};
        default: return {cmd::Failure{text()}};
        }
    }
};

template <class T, class Encode, class Decode>
void expect_round_trip(const T& value, Encode encode, Decode decode) {
    const std::string bytes = encode(value);
    const auto decoded = decode(bytes);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_TRUE(*decoded == value);
    EXPECT_EQ(encode(*decoded), bytes);
}

constexpr int rounds = 300;

TEST(RoundTrip, Records) {
    generator g;
    for (int i = 0; i < rounds; ++i) expect_round_trip(g.record(), asn::exec_to_str, asn::exec_of_str);
}

TEST(RoundTrip, States) {
    generator g;
    for (int i = 0; i < rounds; ++i) {
        const state s = g.list<state_item>([&] { return g.item(); }, 6);
        expect_round_trip(s, asn::state_to_str, asn::state_of_str);
    }
}

TEST(RoundTrip, EveryCommandAlternative) {
    generator g;
    constexpr std::size_t alternatives = std::variant_size_v<decltype(cmd::value)>;
    for (int i = 0; i < rounds; ++i) {
        const cmd c = g.command(static_cast<std::size_t>(i) % alternatives);
        ASSERT_EQ(c.value.index(), static_cast<std::size_t>(i) % alternatives);
        expect_round_trip(c, asn::cmd_to_str, asn::cmd_of_str);
    }
}

}  // namespace
