// What a standing listener costs on the heap, and whether resident memory
// stays flat over a million short command runs.

#include <d_instruction_router.h>
#include <malloc.h>
#include <sim_bench.h>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <functional>
#include <vector>

namespace {

constexpr int standingListeners = 10000;
constexpr int warmUpRuns = 20000;
constexpr int measuredRuns = 1000000;
// Long enough never to fire while the heap is counted.
constexpr int parkedMs = 3600 * 1000;

// Every byte that malloc has handed out and not taken back.
double heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

double residentBytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
        }
    }
    return -1;
}

void turnUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents();
    }
}

// A listener's timers keep their place and their memory, but do not fire while
// the others are made: with 10,000 listeners that takes longer than a poll
// interval, and the polls would be counted half way through their writes.
void parkTimers(const QSharedPointer<ICommand>& run) {
    for (QTimer* timer : dynamic_cast<QObject*>(run.data())->findChildren<QTimer*>()) {
        timer->start(parkedMs);
    }
}

// Only the listen instructions stand once every "GDS" write has been answered
// and ended.
void settleWrites(int standing) {
    turnUntil([standing] { return DInstructionRouter::instance().instructionCount() == standing; });
    QCoreApplication::processEvents();
}

void BM_HeapPerListeningWrench(benchmark::State& state) {
    for (auto _ : state) {
        // A silent wrench: the "GDS" of every listener goes unanswered, and
        // nothing is read while they stand.
        SimBench bench("silent");
        const int standingBefore = DInstructionRouter::instance().instructionCount();
        std::vector<QSharedPointer<ICommand>> runs;
        runs.reserve(standingListeners);
        DAbstractCommand* prototype = bench.plugin.commandPrototype("listenEventsData");

        const double before = heapInUse();
        for (int i = 0; i < standingListeners; ++i) {
            runs.push_back(prototype->createCommand({{"serialId", QString("W1")}}));
            runs.back()->commandExecute();
            parkTimers(runs.back());
        }
        settleWrites(standingBefore + standingListeners);
        const double after = heapInUse();

        state.counters["heap_per_wrench"] = (after - before) / standingListeners;
        for (const QSharedPointer<ICommand>& run : runs) {
            bool ok = false;
            run->finishTheCommand(ok);
        }
    }
}
BENCHMARK(BM_HeapPerListeningWrench)->Iterations(1)->Unit(benchmark::kMillisecond);

// "setLock" from its prototype, executed; the wrench answers "OK"; the run is
// finished once the handler that recorded "doneOk" has returned.
void runSetLock(DAbstractCommand* prototype) {
    QSharedPointer<ICommand> run = prototype->createCommand({{"serialId", "W1"}, {"lock", true}});
    auto* command = dynamic_cast<DAbstractCommand*>(run.data());
    bool done = false;
    QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                     [&done](const QString& key, const QVariant& value) {
                         done = done || (key == QLatin1String("doneOk") && value.toBool());
                     });
    run->commandExecute();
    turnUntil([&done] { return done; });
    bool ok = false;
    run->finishTheCommand(ok);
}

void BM_RssAcrossRuns(benchmark::State& state) {
    for (auto _ : state) {
        SimBench bench("");
        DAbstractCommand* prototype = bench.plugin.commandPrototype("setLock");
        for (int i = 0; i < warmUpRuns; ++i) {
            runSetLock(prototype);
        }
        const double warm = residentBytes();
        for (int i = 0; i < measuredRuns; ++i) {
            runSetLock(prototype);
        }
        const double end = residentBytes();
        if (warm < 0 || end < 0) {
            state.SkipWithError("no VmRSS in /proc/self/status");
            return;
        }
        state.counters["rss_growth"] = end - warm;
        state.counters["runs"] = measuredRuns;
    }
}
BENCHMARK(BM_RssAcrossRuns)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
