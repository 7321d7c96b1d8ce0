// One poll cycle of the listen command through the real router, the driver
// stand-in and the simulated wrench in the same process: the poll timer fires,
// "GDS" is written, the wrench answers "no new saved", the driver reads it and
// the router delivers it to the listen command, which classifies it.

#include "d_bench_reporter.h"

#include <d_cmd_listen.h>
#include <sim_bench.h>

#include <QCoreApplication>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <functional>

namespace {

// Long enough never to fire while a cycle is measured.
constexpr int parkedMs = 3600 * 1000;

void turnUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents();
    }
}

// One cycle: the poll timer fires at once and is parked again as soon as
// "GDS" is written; then the loop turns until the wrench's answer has been
// read, and once more for the reply that the router queued for the command.
void pollOnce(SimBench& bench, QTimer* poll) {
    const int written = bench.framesWritten;
    const int read = bench.chunksRead;
    poll->start(0);
    turnUntil([&] { return bench.framesWritten != written; });
    poll->start(parkedMs);
    turnUntil([&] { return bench.chunksRead != read; });
    QCoreApplication::sendPostedEvents();
}

// Until the listen command polls again after its clears.
void settle(SimBench& bench, QTimer* poll) {
    turnUntil([&] { return poll->isActive() && bench.wrench.savedRecordCount() == 0; });
    for (int turn = 0; turn < 10; ++turn) {
        QCoreApplication::processEvents();
    }
    poll->start(parkedMs);
}

void BM_PollCycle(benchmark::State& state) {
    SimBench bench("");
    BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
    listen.execute();
    QTimer* poll = listen.timer(DCmdListen::pollIntervalMs);
    settle(bench, poll);

    // The same steps deliver a saved record to the command: the cycle
    // measured below does reach the handler.
    const int read = bench.chunksRead;
    bench.wrench.tighten();
    // The printed result line goes out first, on its own.
    turnUntil([&] { return bench.chunksRead != read; });
    QCoreApplication::sendPostedEvents();
    pollOnce(bench, poll);
    if (listen.events.size() != 1) {
        state.SkipWithError("a poll cycle did not reach the listen command");
        return;
    }
    settle(bench, poll);

    for (auto _ : state) {
        pollOnce(bench, poll);
    }
    if (listen.events.size() != 1 || listen.outcome()) {
        state.SkipWithError("the listen command saw more than 'no new saved'");
    }
    listen.finish();
}
BENCHMARK(BM_PollCycle)->Repetitions(timedRepetitions)->Unit(benchmark::kMicrosecond);

} // namespace
