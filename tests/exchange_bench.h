// The exchange that the benchmarks time: a register-read request and its
// reply, as the link makes them (pacing check, set-feature, get-feature).
#pragma once

#include <benchmark/benchmark.h>

#include "hub/transport.h"

namespace benchutil {

constexpr int kExchangesPerRound = 10000;

// One round of kExchangesPerRound exchanges on handle; false (and the
// benchmark marked as failed) when a transfer fails.
inline bool ExchangeRound(benchmark::State& state, HidHandle handle)
{
    HidReport request = MakeRequest(HidCmdReadReg, 0x00);
    request[3] = 0x31;
    request[5] = 4;
    for (int i = 0; i < kExchangesPerRound; ++i) {
        HidReport reply{};
        if (!SendReport(handle, request) || !FetchReport(handle, reply)) {
            state.SkipWithError("a transfer failed");
            return false;
        }
        benchmark::DoNotOptimize(reply);
    }
    return true;
}

}  // namespace benchutil
