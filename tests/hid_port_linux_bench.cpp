// Benchmarks of the Linux HID layer on umockdev-emulated hidraw nodes:
// discovery over 8 nodes, and feature-report exchanges through the node.
// Not a test; run by hand (see the README).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "common/output.h"
#include "common/state.h"
#include "hid_port_umockdev_bed.h"
#include "hub/discovery.h"
#include "hub/hid_port.h"
#include "hub/transport.h"
#include "sim/sim_hub.h"
#include "tests/exchange_bench.h"

namespace {

constexpr int kNodes = 8;

// 8 nodes: 7 with other usage pairs, then (when withHub) the hub as the last.
std::unique_ptr<umocktest::HidrawBed> MakeBed(bool withHub, std::shared_ptr<sim::SimHub> hub)
{
    auto bed = std::make_unique<umocktest::HidrawBed>();
    for (int n = 0; n < kNodes; ++n) {
        umocktest::HidrawDevice device;
        const bool isHub = withHub && n == kNodes - 1;
        device.descriptor = isHub ? umocktest::HubDescriptor()
                                  : umocktest::DescriptorFor(n % 2 == 0 ? 0x0001 : 0xFF83, n % 2 == 0 ? 0x06 : 0x81);
        device.hub = hub;
        bed->Add(n, device);
    }
    return bed;
}

void Discovery(benchmark::State& state, bool withHub)
{
    auto bed = MakeBed(withHub, std::make_shared<sim::SimHub>());
    if (!bed->ok()) {
        state.SkipWithError(bed->error().c_str());
        return;
    }
    std::FILE* sink = std::fopen("/dev/null", "w");
    ConsoleStream = sink;
    for (auto _ : state) {
        ConnectHIDDevice(kHubUsagePage, kHubUsage);
        if (SensorCunt != (withHub ? 1 : 0)) {
            state.SkipWithError("discovery did not find what the bed holds");
            break;
        }
        if (hFile[0] != kNoHidHandle) HidPortClose(hFile[0]);
        hFile[0] = kNoHidHandle;
    }
    ConsoleStream = stdout;
    std::fclose(sink);
}

// The hub is the last of the 8 nodes: every node is opened and looked at.
void BM_DiscoveryHubLastOf8(benchmark::State& state)
{
    Discovery(state, true);
}
BENCHMARK(BM_DiscoveryHubLastOf8)->Unit(benchmark::kMillisecond)->UseRealTime();

// No hub among the 8 nodes: the walk asks all 256 indices.
void BM_DiscoveryNoHubAmong8(benchmark::State& state)
{
    Discovery(state, false);
}
BENCHMARK(BM_DiscoveryNoHubAmong8)->Unit(benchmark::kMillisecond)->UseRealTime();

// 10,000 exchanges (register-read request, then its reply) through the
// emulated node: the ioctls cross umockdev's socket to the hub model.
void BM_Exchanges10000Umockdev(benchmark::State& state)
{
    auto hub = std::make_shared<sim::SimHub>();
    umocktest::HidrawBed bed;
    umocktest::HidrawDevice device;
    device.descriptor = umocktest::HubDescriptor();
    device.hub = hub;
    bed.Add(0, device);
    HidHandle handle = kNoHidHandle;
    std::string path;
    if (!bed.ok() || !HidPortGetDevicePath(0, path) || !HidPortOpen(path, handle)) {
        state.SkipWithError(bed.ok() ? "cannot open the emulated node" : bed.error().c_str());
        return;
    }
    for (auto _ : state)
        if (!benchutil::ExchangeRound(state, handle)) break;
    state.SetItemsProcessed(state.iterations() * benchutil::kExchangesPerRound);
    HidPortClose(handle);
}
BENCHMARK(BM_Exchanges10000Umockdev)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    umocktest::RunUnderUmockdevPreload(argv);
    const std::string reason = umocktest::UmockdevUnavailableReason();
    if (!reason.empty()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
