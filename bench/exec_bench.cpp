// exec_of_str, exec_view_of_str and exec_to_str on the console-heavy record, the bulk record and the
// 105-octet example.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <quarvel/asn.hpp>

#include "held_values.hpp"
#include "inputs.hpp"

namespace {

using namespace quarvel;

struct prepared {
    execution_record record;
    std::string bytes;
};

prepared prepare(execution_record record) {
    std::string bytes = asn::exec_to_str(record);
    return prepared{std::move(record), std::move(bytes)};
}

// Each input is built on first use, so a filtered run never builds the large inputs it skips.
const prepared& console_heavy() {
    static const prepared p = prepare(bench::console_heavy_record());
    return p;
}
const prepared& bulk() {
    static const prepared p = prepare(bench::bulk_record());
    return p;
}
const prepared& example() {
    static const prepared p = prepare(bench::example_record());
    return p;
}

const std::string& message_of(const std::string& message) { return message; }
const std::string& message_of(const asn::decode_error& error) { return error.message; }

// How many decoded values a decode row holds before it pauses to free them. A large input runs 5
// iterations of 50 ms or more: pausing after each costs microseconds, and only one value is alive at a
// time. The example runs millions of sub-microsecond iterations, where a pause per iteration would cost
// more than the decode (two reads of each clock) and blur it: its values are freed 1024 at a time, which
// spreads the pause below a nanosecond per iteration and keeps under 2 MB alive.
std::size_t batch_for(bool large) { return large ? 1 : 1024; }

template <auto Decoder>
void decode(benchmark::State& state, const prepared& (*input)(), bool large) {
    const prepared& p = input();
    using value = decltype(Decoder(std::string_view{}));
    bench::held_values<value> held(batch_for(large));
    for (auto _ : state) {
        if (held.full()) {
            state.PauseTiming();
            held.clear();
            state.ResumeTiming();
        }
        const value& decoded = held.emplace([&] { return Decoder(p.bytes); });
        if (!decoded) {
            state.SkipWithError(message_of(decoded.error()).c_str());
            break;
        }
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.bytes.size()));
}

void encode(benchmark::State& state, const prepared& (*input)(), bool) {
    const prepared& p = input();
    for (auto _ : state) {
        std::string bytes = asn::exec_to_str(p.record);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    struct input {
        const char* name;
        const prepared& (*get)();
        bool large;
    };
    using measure = void (*)(benchmark::State&, const prepared& (*)(), bool);
    struct row {
        const char* prefix;
        measure run;
    };
    for (const input& in : {input{"console-heavy", console_heavy, true}, input{"bulk", bulk, true},
                            input{"example", example, false}}) {
        for (const row& r : {row{"exec_of_str/", decode<asn::exec_of_str>},
                             row{"exec_view_of_str/", decode<asn::exec_view_of_str>},
                             row{"exec_to_str/", encode}}) {
            auto* b = benchmark::RegisterBenchmark((std::string(r.prefix) + in.name).c_str(), r.run, in.get, in.large);
            if (in.large)
                b->Iterations(5)->Unit(benchmark::kMillisecond);
            else
                b->Unit(benchmark::kNanosecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
