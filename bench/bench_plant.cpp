// A plant of listening wrenches on the real event loop: what share of one
// core N of them take while they poll, and how long a tightening waits before
// it is published.

#include "d_bench_plant.h"

#include <time.h>

#include <QElapsedTimer>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <limits>
#include <string>

namespace {

// Every listen command has written its first "GDS" and is polling.
constexpr int settleMs = 1000;
constexpr int measuredMs = 5000;
constexpr int latencyWrenches = 1000;
constexpr int tighteningSpreadMs = 8000;
// Time for the last tightening's poll, fetch and clear.
constexpr int drainMs = 2500;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void BM_ListenersCpuShare(benchmark::State& state) {
    for (auto _ : state) {
        for (const int count : {100, 1000, 10000}) {
            DBenchPlant plant(count);
            plant.startListening();
            DBenchPlant::runFor(settleMs);

            const qint64 framesBefore = plant.framesWritten();
            const double cpuBefore = processCpuSeconds();
            QElapsedTimer wall;
            wall.start();
            DBenchPlant::runFor(measuredMs);
            const double cpuSeconds = processCpuSeconds() - cpuBefore;
            const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;

            const std::string suffix = "_" + std::to_string(count);
            state.counters["cpu_share" + suffix] = cpuSeconds / wallSeconds;
            // A poll is one "GDS" write: about 1 when every listener kept its
            // interval, less when the process could not keep up.
            state.counters["polls_per_wrench_s" + suffix] =
                double(plant.framesWritten() - framesBefore) / count / wallSeconds;
        }
    }
}
BENCHMARK(BM_ListenersCpuShare)->Iterations(1)->Unit(benchmark::kSecond);

// Nearest rank; a record never published counts as waiting for ever.
double percentile(std::vector<double> values, int expected, double fraction) {
    values.resize(size_t(expected), std::numeric_limits<double>::infinity());
    std::sort(values.begin(), values.end());
    const auto rank = size_t(std::ceil(fraction * double(values.size())));
    return values[std::max<size_t>(rank, 1) - 1];
}

void BM_PublishLatency(benchmark::State& state) {
    for (auto _ : state) {
        DBenchPlant plant(latencyWrenches);
        plant.startListening();
        DBenchPlant::runFor(settleMs);
        plant.tightenOnceEach(tighteningSpreadMs, 11);
        DBenchPlant::runFor(tighteningSpreadMs + drainMs);

        const std::vector<double>& latencies = plant.publishLatenciesMs();
        state.counters["published"] = double(latencies.size());
        state.counters["p50_ms"] = percentile(latencies, latencyWrenches, 0.5);
        state.counters["p99_ms"] = percentile(latencies, latencyWrenches, 0.99);
        state.counters["max_ms"] = percentile(latencies, latencyWrenches, 1.0);
    }
}
BENCHMARK(BM_PublishLatency)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
