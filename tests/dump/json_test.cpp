// quarvel-dump --json: one line of JSON per value (per frame with --framed), parsed back here by Python's
// json module (and jq when it is installed) and compared with the exact text.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <quarvel/asn.hpp>
#include <quarvel/framing.hpp>

#include "der/hex.hpp"
#include "dump/json.hpp"
#include "dump/fixtures.hpp"
#include "text/utf8.hpp"
#include "support/process.hpp"

namespace {

using dump_test::expect_json_lines;
using dump_test::frame;

const std::string tool = QUARVEL_DUMP_BINARY;
const std::string sample = std::string(QUARVEL_SOURCE_DIR) + "/samples/hello.der";

using der_test::hex;

void expect_jq_reads(const std::string& text, const std::string& filter, const std::string& expected) {
    test::run_options options;
    options.input = text;
    const auto r = test::run({"/bin/sh", "-c", "command -v jq >/dev/null || exit 77; exec jq -c \"$0\"", filter},
                             options);
    if (r.status == 77) return;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
}

quarvel::uuid example_uuid() {
    quarvel::uuid u;
    for (std::uint8_t i = 0; i < 16; ++i) u.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    return u;
}

TEST(Json, Commands) {
    using C = quarvel::cmd;
    const quarvel::timestamp t{1'714'564'800, 0};  // 2024-05-01T12:00:00Z
    quarvel::info overview;
    overview.dropped_platforms = {"arm64-old"};
    overview.schedule = {{t, quarvel::period::Daily, quarvel::vesk_build_job{"pkg", "hello"}}};
    overview.queues = {{"p", {quarvel::script_job{"a", "p", "s"}}}};
    overview.running = {{t, example_uuid(), {"n", "p", "m"}}};
    const std::string u = "\"00112233-4455-6677-8899-aabbccddeeff\"";
    struct case_ {
        quarvel::cmd command;
        std::string json;
    };
    const std::vector<case_> cases{
        {{C::Job_request{"p"}}, R"({"type":"job_request","platform":"p"})"},
        {{C::Job_schedule{example_uuid(), {"a", "p", "s"}}},
         R"({"type":"job_schedule","uuid":)" + u + R"(,"job":{"type":"script_job","name":"a","platform":"p","script":"s"}})"},
        {{C::Job_finished{example_uuid(), quarvel::Signalled{9}, {{"out.log", "abc"}}}},
         R"({"type":"job_finished","uuid":)" + u + R"(,"result":{"type":"signalled","signal":9},"data":[{"path":"out.log","size":3}]})"},
        {{C::Output{example_uuid(), "a \"quoted\"\ttab\n"}},
         R"({"type":"output","uuid":)" + u + R"(,"output":"a \"quoted\"\ttab\n"})"},
        // Not UTF-8: base64, nothing lost.
        {{C::Output_timestamped{example_uuid(), {5'000'000}, std::string("\xff\xfe\x00x", 4)}},
         R"({"type":"output_timestamped","uuid":)" + u + R"(,"timestamp":5000000,"output":{"base64":"//4AeA=="}})"},
        {{C::Schedule{quarvel::period::Hourly, {"a", "p", "s"}}},
         R"({"type":"schedule","period":"hourly","job":{"type":"script_job","name":"a","platform":"p","script":"s"}})"},
        {{C::Unschedule{"caf\xc3\xa9"}}, "{\"type\":\"unschedule\",\"name\":\"caf\xc3\xa9\"}"},
        {{C::Info{}}, R"({"type":"info"})"},
        {{C::Info_reply{overview}},
         R"({"type":"info_reply","info":{"schedule":[{"next":"2024-05-01T12:00:00-00:00","period":"daily",)"
         R"("job":{"type":"vesk_build_job","name":"pkg","opam_package":"hello"}}],)"
         R"("queues":[{"platform":"p","jobs":[{"type":"script_job","name":"a","platform":"p","script":"s"}]}],)"
         R"("running":[{"started":"2024-05-01T12:00:00-00:00","uuid":)" + u +
             R"(,"job":{"type":"script_job","name":"n","platform":"p","script":"m"}}],"dropped_platforms":["arm64-old"]}})"},
        {{C::Observe{example_uuid()}}, R"({"type":"observe","uuid":)" + u + "}"},
        {{C::Execute{"a", std::nullopt}}, R"({"type":"execute","job_name":"a","platform":null})"},
        {{C::Execute{"a", ""}}, R"({"type":"execute","job_name":"a","platform":""})"},
        {{C::Schedule_vesk_build{quarvel::period::Weekly, {"v", "o"}}},
         R"({"type":"schedule_vesk_build","period":"weekly","vesk_build_job":{"type":"vesk_build_job","name":"v","opam_package":"o"}})"},
        {{C::Reschedule{"n", t, std::nullopt}},
         R"({"type":"reschedule","name":"n","next":"2024-05-01T12:00:00-00:00","period":null})"},
        {{C::Reschedule{"n", t, quarvel::period::Never}},
         R"({"type":"reschedule","name":"n","next":"2024-05-01T12:00:00-00:00","period":"never"})"},
        {{C::Drop_platform{"x"}}, R"({"type":"drop_platform","platform":"x"})"},
        {{C::Undrop_platform{"x"}}, R"({"type":"undrop_platform","platform":"x"})"},
        {{C::Client_hello{quarvel::client_or_worker::Worker, 5}}, R"({"type":"client_hello","typ":"worker","version":5})"},
        {{C::Server_hello{}}, R"({"type":"server_hello"})"},
        {{C::Success{}}, R"({"type":"success"})"},
        {{C::Failure{std::string("\x01\x7f", 2)}}, R"({"type":"failure","message":"\u0001\u007f"})"},
    };
    test::temp_dir dir;
    std::string all;
    for (const auto& c : cases) {
        const auto file = dir.file("cmd.der", quarvel::asn::cmd_to_str(c.command));
        const auto r = test::run({tool, "--json", "cmd", file});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.json + "\n");
        all += r.out;
    }
    expect_json_lines(all);
}

TEST(Json, StateIsAnArrayOfItems) {
    test::temp_dir dir;
    const auto file = dir.file(
        "state.der", hex("30 2D A3 26 30 24 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 A0 0D 30 "
                         "0B 0C 01 61 0C 01 73 30 00 0C 01 70 A5 03 0C 01 78"));
    const auto r = test::run({tool, "--json", "state", file});
    const std::string expected =
        R"([{"type":"schedule","next":"2024-01-02T03:04:05-00:00","period":"daily",)"
        R"("job":{"type":"script_job","name":"a","platform":"p","script":"s"}},{"type":"dropped_platform","platform":"x"}])"
        "\n";
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    expect_json_lines(r.out);
    const auto queue = dir.file("queue.der", quarvel::asn::state_to_str({{quarvel::state_item::Queue{"p", {}}}}));
    EXPECT_EQ(test::run({tool, "--json", "state", queue}).out, R"([{"type":"queue","platform":"p","jobs":[]}])" "\n");
}

TEST(Json, ExecOutputFilesWithTheirContentsOnlyWhenAsked) {
    const auto r = test::run({tool, "--json", "exec", sample});
    ASSERT_EQ(r.status, 0) << r.err;
    expect_json_lines(r.out);
    const std::string files =
        R"("output":[{"path":"result.txt","size":10},{"path":"hello.c.sha256","size":74}]})" "\n";
    EXPECT_EQ(r.out.substr(r.out.size() - files.size()), files);
    EXPECT_NE(r.out.find(R"({"job":{"type":"script_job","name":"hello","platform":"debian-12-amd64","script":"#!/bin/sh\nset -eu\n)"),
              std::string::npos);
    EXPECT_NE(r.out.find(R"("uuid":"3f2a9c41-07d5-4e8b-9a61-5c0e27b4d318","console":[{"delta":1480000000,"data":"job finished: exit 0"},)"),
              std::string::npos);
    EXPECT_NE(r.out.find(R"("started":"2024-06-01T12:00:00-00:00","finished":"2024-06-01T12:00:01.500-00:00","result":{"type":"exited","code":0},)"),
              std::string::npos);
    expect_jq_reads(r.out, "[.output[].size, .result.type, (.console | length)]", "[10,74,\"exited\",6]\n");

    const auto with = test::run({tool, "--json", "--contents", "exec", sample});
    ASSERT_EQ(with.status, 0) << with.err;
    expect_json_lines(with.out);
    EXPECT_NE(with.out.find(R"({"path":"result.txt","size":10,"data":"hello: ok\n"})"), std::string::npos);
}

TEST(Json, FramedCaptureIsJsonLines) {
    test::temp_dir dir;
    const auto file = dir.file("capture", frame(hex("B0 03 0C 01 70")) + frame(hex("B2 02 05 00")) +
                                              frame(hex("B3 03 0C 01 78")).substr(0, 10));
    const auto r = test::run({tool, "--framed", "--json", "cmd", file});
    EXPECT_EQ(r.status, 124);
    const std::string lines = R"({"frame":1,"offset":0,"value":{"type":"job_request","platform":"p"}})" "\n"
                              R"({"frame":2,"offset":13,"value":{"type":"success"}})" "\n";
    EXPECT_EQ(r.out, lines);
    EXPECT_EQ(r.err, "quarvel-dump: frame 3 at offset 25: end of file after 2 of 5 payload octets\n");
    expect_json_lines(r.out);
    expect_jq_reads(r.out, ".value.type", "\"job_request\"\n\"success\"\n");
}

TEST(Json, TextsAreStringsWhenValidUtf8AndBase64Otherwise) {
    struct case_ {
        std::string bytes, json;
    };
    const std::vector<case_> cases{
        {"", R"("")"},
        {"plain", R"("plain")"},
        {"\xce\xbc\xe2\x80\xa6\xf0\x9f\x98\x80", "\"\xce\xbc\xe2\x80\xa6\xf0\x9f\x98\x80\""},
        {std::string("\0\x1f", 2), R"("\u0000\u001f")"},
        {"\xc3", R"({"base64":"ww=="})"},                     // cut short
        {"\xc0\xaf", R"({"base64":"wK8="})"},                 // overlong
        {"\xed\xa0\x80", R"({"base64":"7aCA"})"},             // a surrogate
        {"\xf4\x90\x80\x80", R"({"base64":"9JCAgA=="})"},     // above U+10FFFF
        {"\xff", R"({"base64":"/w=="})"},
    };
    for (const auto& c : cases) {
        std::string out;
        dump::append_json_text(out, c.bytes);
        EXPECT_EQ(out, c.json) << c.json;
    }
}

// A reader of what append_json_text writes: a JSON string (with the escapes the writer uses) or
// {"base64":"..."}. Returns std::nullopt for anything else.
std::optional<std::string> read_json_text(std::string_view json) {
    std::string out;
    if (json.starts_with("{\"base64\":\"") && json.ends_with("\"}")) {
        const std::string_view digits = json.substr(11, json.size() - 13);
        const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        if (digits.size() % 4 != 0) return std::nullopt;
        std::uint32_t bits = 0;
        int count = 0;
        for (char c : digits) {
            if (c == '=') break;
            const auto at = alphabet.find(c);
            if (at == std::string::npos) return std::nullopt;
            bits = bits << 6 | static_cast<std::uint32_t>(at);
            count += 6;
            if (count >= 8) {
                count -= 8;
                out += static_cast<char>(bits >> count & 0xff);
            }
        }
        return out;
    }
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') return std::nullopt;
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const char c = json[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == '"') return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        const char e = json[++i];
        switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                // Never a surrogate: only code points below U+10000 are escaped.
                const auto code = static_cast<std::uint32_t>(std::stoi(std::string(json.substr(i + 1, 4)), nullptr, 16));
                if (code >= 0xd800 && code <= 0xdfff) return std::nullopt;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xc0 | code >> 6);
                    out += static_cast<char>(0x80 | (code & 0x3f));
                } else {
                    out += static_cast<char>(0xe0 | code >> 12);
                    out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
                    out += static_cast<char>(0x80 | (code & 0x3f));
                }
                i += 4;
                break;
            }
            default: return std::nullopt;
        }
    }
    return out;
}

// Any byte string survives: what is written is valid UTF-8 and reads back to the same bytes.
TEST(Json, EveryByteStringReadsBackUnchanged) {
    std::mt19937 random(17);
    for (int round = 0; round < 20'000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (auto& b : bytes) {
            // Mostly the interesting bytes: controls, quotes, backslashes and UTF-8 lead and trail bytes.
            const char interesting[] = {'\0', '\x1f', '"', '\\', '\n', 'a', '\x7f', '\x80', '\xbf', '\xc2',
                                        '\xc3', '\xe0', '\xed', '\xef', '\xf0', '\xf4', '\xf5', '\xff'};
            b = random() % 3 == 0 ? static_cast<char>(random()) : interesting[random() % sizeof interesting];
        }
        std::string json;
        dump::append_json_text(json, bytes);
        ASSERT_TRUE(text::valid_utf8(json)) << testing::PrintToString(bytes);
        const auto back = read_json_text(json);
        ASSERT_TRUE(back) << json;
        ASSERT_EQ(*back, bytes) << json;
        ASSERT_EQ(json.front() == '"', text::valid_utf8(bytes)) << json;
    }
}

}  // namespace
