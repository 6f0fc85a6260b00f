// exec_of_str and exec_to_str on the console-heavy record, the bulk record and the 105-octet example.
#include <benchmark/benchmark.h>

#include <quarvel/asn.hpp>

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

void decode(benchmark::State& state, const prepared& (*input)()) {
    const prepared& p = input();
    for (auto _ : state) {
        auto record = asn::exec_of_str(p.bytes);
        if (!record) {
            state.SkipWithError(record.error().c_str());
            break;
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.bytes.size()));
}

void encode(benchmark::State& state, const prepared& (*input)()) {
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
    for (const input& in : {input{"console-heavy", console_heavy, true}, input{"bulk", bulk, true},
                            input{"example", example, false}}) {
        using measure = void (*)(benchmark::State&, const prepared& (*)());
        for (auto [direction, run] : {std::pair<const char*, measure>{"exec_of_str/", decode},
                                      std::pair<const char*, measure>{"exec_to_str/", encode}}) {
            auto* b = benchmark::RegisterBenchmark((std::string(direction) + in.name).c_str(), run, in.get);
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
