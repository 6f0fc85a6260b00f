// cmd_of_str and cmd_to_str on one command of each alternative: nanoseconds per command.
#include <benchmark/benchmark.h>

#include <quarvel/asn.hpp>

#include "inputs.hpp"

namespace {

using namespace quarvel;

void decode(benchmark::State& state, const std::string& bytes) {
    for (auto _ : state) {
        auto command = asn::cmd_of_str(bytes);
        if (!command) {
            state.SkipWithError(command.error().c_str());
            break;
        }
        benchmark::DoNotOptimize(command);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void encode(benchmark::State& state, const cmd& command, std::size_t size) {
    for (auto _ : state) {
        std::string bytes = asn::cmd_to_str(command);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

}  // namespace

int main(int argc, char** argv) {
    // Registered benchmarks keep references: the commands live until the end of main.
    static const std::vector<bench::named_cmd> commands = bench::every_cmd();
    static std::vector<std::string> encoded;
    encoded.reserve(commands.size());
    for (const auto& c : commands) encoded.push_back(asn::cmd_to_str(c.command));
    for (std::size_t i = 0; i < commands.size(); ++i) {
        benchmark::RegisterBenchmark(("cmd_of_str/" + commands[i].name).c_str(), decode, std::cref(encoded[i]));
        benchmark::RegisterBenchmark(("cmd_to_str/" + commands[i].name).c_str(), encode,
                                     std::cref(commands[i].command), encoded[i].size());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
