// Runs every benchmark, then prints one line per figure:
//   name measured goal PASS|FAIL
// and exits non-zero when a figure misses its goal.

#include "d_bench_reporter.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

struct Figure {
    const char* name;
    const char* goalText;
    std::function<std::optional<double>(const DBenchReporter&)> measure;
    std::function<bool(double)> meetsGoal;
};

std::optional<double> ratio(std::optional<double> numerator, std::optional<double> denominator) {
    if (!numerator || !denominator || *denominator <= 0) {
        return std::nullopt;
    }
    return *numerator / *denominator;
}

const Figure figures[] = {
    {"reply_handler_vs_memchr", ">=0.3",
     [](const DBenchReporter& r) {
         return ratio(r.counter("BM_ReplyHandler", "bytes_per_second"),
                      r.counter("BM_MemchrSplit", "bytes_per_second"));
     },
     [](double v) {
         return v >= 0.3;
     }},
    {"record_lines_per_s", ">=1000000",
     [](const DBenchReporter& r) { return r.counter("BM_RecordToEventData", "items_per_second"); },
     [](double v) {
         return v >= 1e6;
     }},
    {"result_lines_per_s", ">=1000000",
     [](const DBenchReporter& r) { return r.counter("BM_ResultLineToMap", "items_per_second"); },
     [](double v) {
         return v >= 1e6;
     }},
    {"program_frames_per_s", ">=1000000",
     [](const DBenchReporter& r) {
         return r.counter("BM_PresetToProgramFrame", "items_per_second");
     },
     [](double v) {
         return v >= 1e6;
     }},
    {"poll_cycle_cpu_us", "<=20",
     [](const DBenchReporter& r) -> std::optional<double> {
         const auto seconds = r.cpuSecondsPerIteration("BM_PollCycle");
         return seconds ? std::optional<double>(*seconds * 1e6) : std::nullopt;
     },
     [](double v) {
         return v <= 20;
     }},
    {"heap_per_listening_wrench_bytes", "<=8192",
     [](const DBenchReporter& r) {
         return r.counter("BM_HeapPerListeningWrench", "heap_per_wrench");
     },
     [](double v) {
         return v <= 8192;
     }},
    {"rss_growth_over_1M_runs_bytes", "<=1048576",
     [](const DBenchReporter& r) { return r.counter("BM_RssAcrossRuns", "rss_growth"); },
     [](double v) {
         return v <= 1048576;
     }},
};

bool printFigures(const DBenchReporter& reporter) {
    bool allMet = true;
    std::printf("\n");
    for (const Figure& figure : figures) {
        const std::optional<double> measured = figure.measure(reporter);
        const bool met = measured && figure.meetsGoal(*measured);
        allMet = allMet && met;
        if (measured) {
            std::printf("%s %.4g %s %s\n", figure.name, *measured, figure.goalText,
                        met ? "PASS" : "FAIL");
        } else {
            std::printf("%s not-measured %s FAIL\n", figure.name, figure.goalText);
        }
    }
    std::fflush(stdout);
    return allMet;
}

} // namespace

int main(int argc, char** argv) {
    // The commands, the router and the simulated wrench need an event loop.
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    DBenchReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return printFigures(reporter) ? 0 : 1;
}
