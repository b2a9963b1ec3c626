// Benchmark of the feature-report exchange through the stand-in's port and
// hub model, in-process. Not a test; run by hand (see the README).

#include <benchmark/benchmark.h>

#include <memory>

#include "common/state.h"
#include "hub/transport.h"
#include "sim/sim_hub.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/virtual_clock.h"
#include "tests/exchange_bench.h"

namespace {

// 10,000 exchanges (register-read request, then its reply), as the link
// makes them: pacing check, set-feature, get-feature, each through the
// simulated port and its trace.
void BM_Exchanges10000SimPort(benchmark::State& state)
{
    ResetProcessState();
    sim::Port().Reset();
    sim::TraceReset();
    auto hub = std::make_shared<sim::SimHub>();
    hub->PokeText(0x003100, "XOV!");
    const int index = sim::Port().AddDevice(sim::HubDevice("/dev/sim-hub", hub));
    const HidHandle handle = sim::Port().Open(index);
    for (auto _ : state) {
        if (!benchutil::ExchangeRound(state, handle)) break;
        state.PauseTiming();
        sim::TraceReset();  // the trace keeps every line; start each round empty
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * benchutil::kExchangesPerRound);
    sim::Port().Reset();
}
BENCHMARK(BM_Exchanges10000SimPort)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
