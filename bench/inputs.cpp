#include "inputs.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quarvel::bench {

namespace {

// splitmix64: small, fast and the same on every platform (unlike the standard distributions).
struct random_bits {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform enough for benchmark inputs: the modulo bias is irrelevant here.
    std::uint64_t between(std::uint64_t low, std::uint64_t high) { return low + next() % (high - low + 1); }
};

constexpr std::uint64_t seed = 20240102;

const uuid some_uuid{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};
constexpr timestamp example_start{1'704'164'645, 0};  // 2024-01-02T03:04:05Z

std::string printable_text(random_bits& bits, std::size_t length) {
    std::string text(length, ' ');
    for (char& c : text) c = static_cast<char>(0x20 + bits.next() % 95);
    return text;
}

std::string arbitrary_octets(random_bits& bits, std::size_t length) {
    std::string octets(length, '\0');
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const std::uint64_t word = bits.next();
        std::memcpy(octets.data() + i, &word, 8);
    }
    for (; i < length; ++i) octets[i] = static_cast<char>(bits.next());
    return octets;
}

script_job build_job(std::string name) {
    return script_job{std::move(name), "debian-12-amd64", "#!/bin/sh\nset -e\nmake -j2\nmake check\n"};
}

}  // namespace

execution_record console_heavy_record() {
    random_bits bits{seed};
    execution_record record{build_job("console-heavy"), some_uuid, {}, example_start, {}, Exited{0}, {}};
    record.console.reserve(1'000'000);
    std::int64_t delta = 0;
    for (int i = 0; i < 1'000'000; ++i) {
        delta += static_cast<std::int64_t>(bits.between(0, 10'000'000));
        record.console.push_back(console_line{delta, printable_text(bits, bits.between(40, 100))});
    }
    record.finished = timestamp{example_start.seconds + delta / 1'000'000'000 + 1, 0};
    return record;
}

execution_record bulk_record() {
    random_bits bits{seed + 1};
    execution_record record{build_job("bulk"), some_uuid, {}, example_start, {}, Exited{0}, {}};
    for (int i = 0; i < 16; ++i)
        record.console.push_back(console_line{i * 250'000'000LL, printable_text(bits, bits.between(40, 100))});
    record.output.reserve(64);
    for (int i = 0; i < 64; ++i) {
        record.output.push_back(output_file{"artifacts/part-" + std::to_string(i) + ".bin",
                                            arbitrary_octets(bits, 4 * 1024 * 1024)});
    }
    record.finished = timestamp{example_start.seconds + 60, 0};
    return record;
}

execution_record large_record() {
    random_bits bits{seed + 3};
    execution_record record{build_job("large"), some_uuid, {}, example_start, {}, Exited{0}, {}};
    record.console.reserve(1'000'000);
    std::int64_t delta = 0;
    for (int i = 0; i < 1'000'000; ++i) {
        delta += static_cast<std::int64_t>(bits.between(0, 10'000'000));
        record.console.push_back(console_line{delta, printable_text(bits, bits.between(200, 260))});
    }
    std::reverse(record.console.begin(), record.console.end());  // stored newest first
    record.output.reserve(large_record_files);
    for (int i = 0; i < large_record_files; ++i)
        record.output.push_back(output_file{large_record_path(i), large_record_contents(i)});
    record.finished = timestamp{example_start.seconds + delta / 1'000'000'000 + 1, 0};
    return record;
}

std::string large_record_path(int index) { return "artifacts/large-" + std::to_string(index) + ".bin"; }

std::string large_record_contents(int index) {
    random_bits bits{seed + 100 + static_cast<std::uint64_t>(index)};
    return arbitrary_octets(bits, 64 * 1024 * 1024);
}

execution_record example_record() {
    return execution_record{script_job{"a", "p", "s"},
                            some_uuid,
                            {console_line{5'000'000, "hi"}},
                            example_start,
                            timestamp{example_start.seconds + 1, 0},
                            Exited{0},
                            {output_file{"out.txt", "x"}}};
}

std::string_view example_record_octets() {
    static constexpr unsigned char octets[] = {
        0xA0, 0x67, 0x30, 0x65, 0x30, 0x0B, 0x0C, 0x01, 0x61, 0x0C, 0x01, 0x73, 0x30, 0x00, 0x0C, 0x01, 0x70,
        0x0C, 0x10, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE,
        0xFF, 0x30, 0x0B, 0x30, 0x09, 0x02, 0x03, 0x4C, 0x4B, 0x40, 0x0C, 0x02, 0x68, 0x69, 0x30, 0x22, 0x18,
        0x0F, 0x32, 0x30, 0x32, 0x34, 0x30, 0x31, 0x30, 0x32, 0x30, 0x33, 0x30, 0x34, 0x30, 0x35, 0x5A, 0x18,
        0x0F, 0x32, 0x30, 0x32, 0x34, 0x30, 0x31, 0x30, 0x32, 0x30, 0x33, 0x30, 0x34, 0x30, 0x36, 0x5A, 0xA0,
        0x03, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C, 0x0C, 0x07, 0x6F, 0x75, 0x74, 0x2E, 0x74, 0x78, 0x74,
        0x0C, 0x01, 0x78};
    static_assert(sizeof octets == 105);
    return {reinterpret_cast<const char*>(octets), sizeof octets};
}

state large_state() {
    random_bits bits{seed + 2};
    state items;
    items.reserve(100'000);
    const auto some_job = [&](int i) -> job {
        if (i % 2 == 0) return build_job("job-" + std::to_string(i));
        return vesk_build_job{"vesk-" + std::to_string(i), "pkg-" + std::to_string(i) + ".1.0"};
    };
    for (int i = 0; i < 100'000; ++i) {
        const int kind = static_cast<int>(bits.between(0, 9));
        if (kind < 6) {
            const timestamp next{example_start.seconds + static_cast<std::int64_t>(bits.between(0, 86'400 * 30)), 0};
            items.push_back(state_item{state_item::Schedule{
                schedule_item{next, static_cast<period>(bits.between(0, 3)), some_job(i)}}});
        } else if (kind < 9) {
            state_item::Queue queue{"platform-" + std::to_string(i % 97), {}};
            for (int j = 0, n = static_cast<int>(bits.between(0, 3)); j < n; ++j) queue.jobs.push_back(some_job(i + j));
            items.push_back(state_item{std::move(queue)});
        } else {
            items.push_back(state_item{state_item::Dropped_platform{"platform-" + std::to_string(i)}});
        }
    }
    return items;
}

std::vector<named_cmd> every_cmd() {
    const script_job job = build_job("nightly");
    const vesk_build_job vesk{"vesk-nightly", "hello.1.0"};
    const timestamp next{example_start.seconds + 3600, 0};
    info overview;
    overview.schedule = {schedule_item{next, period::Daily, job}, schedule_item{next, period::Weekly, vesk}};
    overview.queues = {queue_entry{"debian-12-amd64", {job, vesk}}, queue_entry{"freebsd-14-amd64", {}}};
    overview.running = {running_entry{example_start, some_uuid, job}};
    overview.dropped_platforms = {"windows-xp"};
    return {
        {"Job_request", cmd{cmd::Job_request{"debian-12-amd64"}}},
        {"Job_schedule", cmd{cmd::Job_schedule{some_uuid, job}}},
        {"Job_finished", cmd{cmd::Job_finished{some_uuid, Exited{0}, {output_file{"out.txt", "x"}}}}},
        {"Output", cmd{cmd::Output{some_uuid, "checking for gcc... gcc"}}},
        {"Output_timestamped", cmd{cmd::Output_timestamped{some_uuid, duration{5'000'000}, "checking for gcc... gcc"}}},
        {"Schedule", cmd{cmd::Schedule{period::Daily, job}}},
        {"Unschedule", cmd{cmd::Unschedule{"nightly"}}},
        {"Info", cmd{cmd::Info{}}},
        {"Info_reply", cmd{cmd::Info_reply{overview}}},
        {"Observe", cmd{cmd::Observe{some_uuid}}},
        {"Execute", cmd{cmd::Execute{"nightly", "debian-12-amd64"}}},
        {"Schedule_vesk_build", cmd{cmd::Schedule_vesk_build{period::Weekly, vesk}}},
        {"Reschedule", cmd{cmd::Reschedule{"nightly", next, period::Hourly}}},
        {"Drop_platform", cmd{cmd::Drop_platform{"windows-xp"}}},
        {"Undrop_platform", cmd{cmd::Undrop_platform{"windows-xp"}}},
        {"Client_hello", cmd{cmd::Client_hello{client_or_worker::Client, client_protocol_version}}},
        {"Server_hello", cmd{cmd::Server_hello{}}},
        {"Success", cmd{cmd::Success{}}},
        {"Failure", cmd{cmd::Failure{"no such job"}}},
    };
}

}  // namespace quarvel::bench
