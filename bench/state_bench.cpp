// state_of_str and state_to_str on a state of 100,000 items.
#include <benchmark/benchmark.h>

#include <quarvel/asn.hpp>

#include "held_values.hpp"
#include "inputs.hpp"

namespace {

using namespace quarvel;

struct prepared {
    state items;
    std::string bytes;
};

const prepared& large() {
    static const prepared p = [] {
        state items = bench::large_state();
        std::string bytes = asn::state_to_str(items);
        return prepared{std::move(items), std::move(bytes)};
    }();
    return p;
}

void decode(benchmark::State& state) {
    const prepared& p = large();
    // Freeing 100,000 items is not part of the decode's time: each value is destroyed with the timers paused.
    bench::held_values<decltype(asn::state_of_str(p.bytes))> held(1);
    for (auto _ : state) {
        if (held.full()) {
            state.PauseTiming();
            held.clear();
            state.ResumeTiming();
        }
        const auto& items = held.emplace([&] { return asn::state_of_str(p.bytes); });
        if (!items) {
            state.SkipWithError(items.error().c_str());
            break;
        }
        benchmark::DoNotOptimize(items);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.bytes.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * p.items.size()));
}

void encode(benchmark::State& state) {
    const prepared& p = large();
    for (auto _ : state) {
        std::string bytes = asn::state_to_str(p.items);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.bytes.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * p.items.size()));
}

}  // namespace

BENCHMARK(decode)->Name("state_of_str/100000-items")->Unit(benchmark::kMillisecond);
BENCHMARK(encode)->Name("state_to_str/100000-items")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
