// Measures what a flood (megabytes without a line end) costs the plug-in, the
// driver and the simulated wrench together: the growth of peak resident memory
// while it streams, and the time per MiB for a small and a large flood. Prints
// the figures; exits 1 when a goal is missed: growth of 1 MiB or more, or a
// large flood that costs more than twice as much per MiB as the small one.
//
// usage: flood_meter [SMALL_MIB [LARGE_MIB]]   (default 5 and 50)

#include <sim_bench.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

constexpr qint64 mib = qint64(1) << 20;
constexpr qint64 growthGoal = mib;
constexpr double linearityGoal = 2.0;

// A "VmXxx:   1234 kB" entry of /proc/self/status, in bytes; -1 when absent.
qint64 statusBytes(const QByteArray& key) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':')) {
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return -1;
}

// Lets the peak start again from the current resident size; false when the
// system does not allow it, and the peak so far stands.
bool resetPeak() {
    QFile clearRefs("/proc/self/clear_refs");
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

struct Figures {
    qint64 growth = 0;
    qint64 elapsedMs = 0;
    bool published = false;
};

// One flood of floodMib MiB met by the listen command, up to the record after it.
Figures measure(int floodMib) {
    SimBench bench("flood");
    bench.wrench.setFloodBytes(floodMib * mib);
    qint64 bytesRead = 0;
    QObject::connect(&bench.driver, &PDriverSerial::sigBytesRead,
                     [&bytesRead](const QByteArray& chunk) { bytesRead += chunk.size(); });
    BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});

    resetPeak();
    const qint64 before = qMax(statusBytes("VmRSS"), statusBytes("VmHWM"));
    const qint64 baseline = resetPeak() ? statusBytes("VmRSS") : before;
    QElapsedTimer elapsed;
    elapsed.start();
    listen.execute();
    keepTimerShort(listen.timer(1000), 2);
    Figures figures;
    runUntil([&] { return bytesRead >= floodMib * mib; }, 600000);
    figures.elapsedMs = elapsed.elapsed();
    bench.wrench.tighten();
    figures.published = runUntil([&] { return listen.events.size() == 1; }, 10000);
    figures.growth = statusBytes("VmHWM") - baseline;
    listen.finish();
    return figures;
}

int mibArgument(const QStringList& arguments, int index, int fallback) {
    bool ok = false;
    const int value = arguments.value(index).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int small = mibArgument(arguments, 1, 5);
    const int large = mibArgument(arguments, 2, 50);

    measure(1); // warms the allocator and Qt up, so that only the flood is measured
    std::printf("peak resident memory %s\n",
                resetPeak() ? "measured from the start of each flood (/proc/self/clear_refs)"
                            : "cannot be reset here: growth is beyond the peak so far");
    bool met = true;
    double msPerMib[2] = {0, 0};
    const int sizes[2] = {small, large};
    for (int i = 0; i < 2; ++i) {
        // The better of two runs, so that a busy machine is not taken for a slow flood.
        Figures best = measure(sizes[i]);
        const Figures second = measure(sizes[i]);
        if (second.elapsedMs < best.elapsedMs) {
            best.elapsedMs = second.elapsedMs;
        }
        best.growth = qMax(best.growth, second.growth);
        best.published = best.published && second.published;
        msPerMib[i] = double(qMax<qint64>(best.elapsedMs, 1)) / sizes[i];
        std::printf("flood %d MiB: peak resident growth %lld KiB (goal < %lld KiB), %lld ms, "
                    "%.2f ms/MiB, next record %s\n",
                    sizes[i], best.growth / 1024, growthGoal / 1024, best.elapsedMs, msPerMib[i],
                    best.published ? "published" : "NOT published");
        met = met && best.growth < growthGoal && best.published;
    }
    const double ratio = msPerMib[1] / msPerMib[0];
    std::printf("time per MiB, %d MiB against %d MiB: %.2f (goal <= %.1f)\n", large, small, ratio,
                linearityGoal);
    met = met && ratio <= linearityGoal;
    std::printf("flood goals %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
