#pragma once
// What the tests of quarvel-dump build their inputs from, and how they check JSON Lines.

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include <quarvel/framing.hpp>
#include <quarvel/model.hpp>

#include "support/process.hpp"

namespace dump_test {

// A small record of the job `job` on platform "p": one console line, one output file, exited 0.
inline quarvel::execution_record record_of(const std::string& job) {
    quarvel::execution_record r;
    r.job = {job, "p", "s"};
    for (std::uint8_t i = 0; i < 16; ++i) r.uuid.octets[i] = static_cast<std::uint8_t>(i * 0x11);
    r.console = {{5'000'000, "hi"}};
    r.started = {1'704'164'645, 0};  // 2024-01-02T03:04:05Z
    r.finished = {1'704'164'646, 0};
    r.result = quarvel::Exited{0};
    r.output = {{"out.txt", "x"}};
    return r;
}

inline quarvel::execution_record small_record() { return record_of("a"); }

// A frame's length prefix, and a whole frame.
inline std::string prefix(std::int64_t length) {
    const auto p = quarvel::frame_prefix(length);
    return std::string(p.data(), p.size());
}
inline std::string frame(const std::string& payload) { return prefix(static_cast<std::int64_t>(payload.size())) + payload; }

// Every line of `text` is one JSON value: Python reads each back and writes it again in its own compact
// form with the keys in their order, and with what a terminal would act on (DEL, C1 and bidirectional
// controls, U+2028, U+2029) escaped as the tool escapes it, which must give the same line.
inline void expect_json_lines(const std::string& text) {
    test::run_options options;
    options.input = text;
    const auto r = test::run({"/usr/bin/env", "python3", "-c",
                              "import json, re, sys\n"
                              "hazard = re.compile('[\\x7f-\\x9f\\u061c\\u200e\\u200f\\u2028-\\u202e\\u2066-\\u2069]')\n"
                              "for line in sys.stdin.buffer.read().decode('utf-8').split('\\n')[:-1]:\n"
                              "    again = json.dumps(json.loads(line), separators=(',', ':'), ensure_ascii=False)\n"
                              "    print(hazard.sub(lambda m: '\\\\u%04x' % ord(m.group()), again))\n"},
                             options);
    if (r.status == 127) GTEST_SKIP() << "no python3";
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, text);
}

}  // namespace dump_test
