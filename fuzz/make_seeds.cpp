// Writes the seed corpora of the fuzz targets with the project's own encoder: every command
// alternative, every state item kind, records with empty and odd contents, the older forms, and the
// shapes that once cost too much (long child lists in messages, large outputs, long transcripts).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <quarvel/asn.hpp>

namespace {

using namespace quarvel;

const uuid some_uuid{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};
const timestamp t0{1'704'164'645, 0};  // 2024-01-02T03:04:05Z
const script_job sj{"a", "p", "s"};
const job vj = vesk_build_job{"v", "hello"};

std::string hex(std::initializer_list<unsigned> octets) {
    std::string s;
    for (unsigned o : octets) s += static_cast<char>(o);
    return s;
}

// The header length and content length of the DER element at the start of `b` (a low tag number and a
// definite length, as the project's encoder writes them).
std::pair<std::size_t, std::size_t> header_of(std::string_view b) {
    const auto first = static_cast<unsigned char>(b[1]);
    if (first < 0x80) return {2, first};
    std::size_t length = 0;
    for (std::size_t i = 0; i < (first & 0x7fu); ++i) length = length << 8 | static_cast<unsigned char>(b[2 + i]);
    return {2 + (first & 0x7fu), length};
}

std::string length_octets(std::size_t n) {
    if (n < 0x80) return std::string(1, static_cast<char>(n));
    std::string octets;
    for (; n != 0; n >>= 8) octets.insert(octets.begin(), static_cast<char>(n & 0xff));
    return static_cast<char>(0x80 | octets.size()) + octets;
}

// `element` with `extra` appended to the contents of the element `depth` levels down its first children,
// every length on the way fixed.
std::string with_children_appended(std::string_view element, int depth, const std::string& extra) {
    const auto [header, length] = header_of(element);
    const std::string_view content = element.substr(header, length);
    std::string changed;
    if (depth == 0) {
        changed = std::string(content) + extra;
    } else {
        const auto [child_header, child_length] = header_of(content);
        changed = with_children_appended(content.substr(0, child_header + child_length), depth - 1, extra);
        changed += content.substr(child_header + child_length);
    }
    return element[0] + length_octets(changed.size()) + changed;
}

void write(const std::filesystem::path& dir, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::vector<std::string> all;

    const std::vector<execution_record> records = {
        {sj, some_uuid, {{5'000'000, "hi"}}, t0, {t0.seconds + 1, 0}, Exited{0}, {{"out.txt", "x"}}},
        {script_job{"", "no-platform", ""}, uuid{}, {}, t0, t0, Msg{""}, {}},
        {script_job{"odd \"name\"\n", "p\xff", "#!/bin/sh\r\n\techo \x01"},
         some_uuid,
         {{-1, std::string("\0\xc3\xa9", 3)}, {4'611'686'018'427'387'903, "\\"}},
         {-62'167'219'200, 0},
         {253'402'300'799, 999'000'000},
         Signalled{-9},
         {{"//a/b", ""}, {"/abs", "y"}, {"../up", "z"}}},
        {sj, some_uuid, {}, t0, t0, Stopped{19}, {}},
    };
    int n = 0;
    for (const auto& r : records) {
        const auto bytes = asn::exec_to_str(r);
        write(root / "exec", "record-" + std::to_string(n++), bytes);
        all.push_back(bytes);
    }
    write(root / "exec", "reserved", hex({0xa1, 0x02, 0x05, 0x00}));
    // What an export and a printing run meet at their limits: an output file larger than the others
    // between small ones, and a transcript of many lines.
    execution_record big_output = records[0];
    big_output.output = {{"a.txt", "first"}, {"big.bin", std::string(48 * 1024, 'b')}, {"c.txt", "after"},
                         {"d/e.txt", "deeper"}};
    write(root / "exec", "big-output", asn::exec_to_str(big_output));
    execution_record long_console = records[0];
    long_console.console.assign(2000, console_line{1'000'000, "line"});
    write(root / "exec", "long-console", asn::exec_to_str(long_console));
    all.push_back(asn::exec_to_str(long_console));

    const state s = {
        state_item{state_item::Schedule{{t0, period::Daily, sj}}},
        state_item{state_item::Schedule{{{t0.seconds, 500'000'000}, period::Never, vj}}},
        state_item{state_item::Queue{"p1", {sj, vj}}},
        state_item{state_item::Queue{"p2", {}}},
        state_item{state_item::Dropped_platform{"x"}},
    };
    all.push_back(asn::state_to_str(s));
    write(root / "state", "current", all.back());
    write(root / "state", "empty", asn::state_to_str({}));
    // An old schedule item [1] (UTCTime, bare script job), retired [0] and [2] items.
    write(root / "state", "old-forms",
          hex({0x30, 0x37, 0xa1, 0x22, 0x30, 0x20, 0x17, 0x0d, '2', '4', '0', '1', '0', '2', '0', '3', '0', '4',
               '0', '5', 'Z', 0xa1, 0x02, 0x05, 0x00, 0x30, 0x0b, 0x0c, 0x01, 'a', 0x0c, 0x01, 's', 0x30, 0x00,
               0x0c, 0x01, 'p', 0xa0, 0x0d, 0x30, 0x0b, 0x0c, 0x01, 'a', 0x0c, 0x01, 's', 0x30, 0x00, 0x0c, 0x01,
               'p', 0xa2, 0x06, 0xa1, 0x04, 0x30, 0x02, 0x0c, 0x00}));

    info overview{{{t0, period::Weekly, sj}, {t0, period::Hourly, vj}},
                  {{"freebsd-14", {sj, vj}}, {"empty", {}}},
                  {{t0, some_uuid, sj}},
                  {"arm64-old", ""}};
    const std::vector<cmd> cmds = {
        {cmd::Job_request{"p"}},
        {cmd::Job_schedule{some_uuid, sj}},
        {cmd::Job_finished{some_uuid, Exited{0}, {{"out.log", "77"}}}},
        {cmd::Output{some_uuid, "line"}},
        {cmd::Output_timestamped{some_uuid, {5'000'000}, "hi"}},
        {cmd::Schedule{period::Daily, sj}},
        {cmd::Unschedule{"a"}},
        {cmd::Info{}},
        {cmd::Info_reply{overview}},
        {cmd::Observe{some_uuid}},
        {cmd::Execute{"a", std::nullopt}},
        {cmd::Execute{"a", ""}},
        {cmd::Schedule_vesk_build{period::Weekly, vesk_build_job{"v", "hello"}}},
        {cmd::Reschedule{"a", t0, std::nullopt}},
        {cmd::Reschedule{"a", t0, period::Never}},
        {cmd::Drop_platform{"p"}},
        {cmd::Undrop_platform{"p"}},
        {cmd::Client_hello{client_or_worker::Client, client_protocol_version}},
        {cmd::Client_hello{client_or_worker::Worker, worker_protocol_version}},
        {cmd::Server_hello{}},
        {cmd::Success{}},
        {cmd::Failure{"x"}},
    };
    n = 0;
    for (const auto& c : cmds) {
        const auto bytes = asn::cmd_to_str(c);
        write(root / "cmd", "cmd-" + std::to_string(n++), bytes);
        all.push_back(bytes);
    }
    // Older forms: [7] overview without dropped platforms, [11] execute, retired [0] and [8].
    write(root / "cmd", "old-info", hex({0xa7, 0x08, 0x30, 0x06, 0x30, 0x00, 0x30, 0x00, 0x30, 0x00}));
    write(root / "cmd", "old-execute", hex({0xab, 0x03, 0x0c, 0x01, 'a'}));
    write(root / "cmd", "retired-0", hex({0xa0, 0x03, 0x02, 0x01, 0x00}));
    write(root / "cmd", "retired-8", hex({0xa8, 0x02, 0x05, 0x00}));

    // SEQUENCEs with thousands of children after their last member, which the decoders' message lists one
    // by one: in a record, in a state item and in a command.
    std::string children;
    for (int i = 0; i < 4000; ++i) children += hex({0x7e, 0x00});
    const std::string trailing_record = with_children_appended(asn::exec_to_str(records[0]), 1, children);
    const std::string trailing_item = with_children_appended(asn::state_to_str(s), 2, children);
    const std::string trailing_cmd = with_children_appended(asn::cmd_to_str(cmds[1]), 1, children);
    write(root / "exec", "trailing-children", trailing_record);
    write(root / "state", "trailing-children", trailing_item);
    write(root / "cmd", "trailing-children", trailing_cmd);
    all.push_back(trailing_record);
    // An explicit tag whose every child its message lists, and a state of empty dropped platforms, the
    // smallest items.
    const std::string explicit_children =
        hex({0xa0, 0x82, unsigned((children.size() + 2) >> 8), unsigned((children.size() + 2) & 0xff), 0x30, 0x00}) +
        children;
    write(root / "cmd", "explicit-children", explicit_children);
    write(root / "exec", "explicit-children", explicit_children);
    std::string dropped;
    for (int i = 0; i < 4000; ++i) dropped += hex({0xa5, 0x02, 0x0c, 0x00});
    write(root / "state", "many-dropped",
          hex({0x30, 0x82, unsigned(dropped.size() >> 8), unsigned(dropped.size() & 0xff)}) + dropped);

    n = 0;
    for (const auto& bytes : all) write(root / "der_parse", "seed-" + std::to_string(n++), bytes);
    return 0;
}
