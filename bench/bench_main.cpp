// Runs every benchmark, then prints one line per figure:
//   name measured goal PASS|FAIL
// and exits non-zero when a figure misses its goal.

#include "d_bench_reporter.h"

#include <d_event_dispatcher.h>
#include <mosquitto_broker.h>

#include <QCoreApplication>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace {

using Measure = std::function<std::optional<double>(const DBenchReporter&)>;

struct Figure {
    const char* name;
    const char* goalText;
    Measure measure;
    std::function<bool(double)> meetsGoal;
    // What else must hold for the figure to mean anything; null: nothing.
    std::function<bool(const DBenchReporter&)> holds = nullptr;
    // Measured against a local broker: skipped, not failed, without one.
    bool needsBroker = false;
};

std::optional<double> ratio(std::optional<double> numerator, std::optional<double> denominator) {
    if (!numerator || !denominator || *denominator <= 0) {
        return std::nullopt;
    }
    return *numerator / *denominator;
}

std::optional<double> cpuShare(const DBenchReporter& r, int count) {
    return r.counter("BM_ListenersCpuShare", "cpu_share_" + std::to_string(count));
}

// A share of the CPU says nothing of listeners that could not poll once a
// second.
bool keptPolling(const DBenchReporter& r, int count) {
    const auto polls =
        r.counter("BM_ListenersCpuShare", "polls_per_wrench_s_" + std::to_string(count));
    return polls && *polls >= 0.95;
}

Figure cpuShareFigure(const char* name, int count) {
    return {name, "<=0.25", [count](const DBenchReporter& r) { return cpuShare(r, count); },
            [](double v) { return v <= 0.25; },
            [count](const DBenchReporter& r) {
                return keptPolling(r, count);
            }};
}

const Figure figures[] = {
    cpuShareFigure("listeners_cpu_share_100", 100),
    cpuShareFigure("listeners_cpu_share_1000", 1000),
    cpuShareFigure("listeners_cpu_share_10000", 10000),
    // CPU per wrench-second, at 10,000 wrenches over at 100.
    {"per_wrench_cost_ratio_10000_vs_100", "<=1.5",
     [](const DBenchReporter& r) {
         return ratio(ratio(cpuShare(r, 10000), 10000), ratio(cpuShare(r, 100), 100));
     },
     [](double v) { return v <= 1.5; },
     [](const DBenchReporter& r) {
         return keptPolling(r, 100) && keptPolling(r, 10000);
     }},
    // One poll interval and a little.
    {"publish_latency_p99_ms", "<=1050",
     [](const DBenchReporter& r) { return r.counter("BM_PublishLatency", "p99_ms"); },
     [](double v) {
         return v <= 1050;
     }},
    // A hundred times what a wrench's line carries.
    {"record_lines_per_s", ">=10000",
     [](const DBenchReporter& r) { return r.counter("BM_RecordToEventData", "items_per_second"); },
     [](double v) {
         return v >= 10000;
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
    // Ten times what the busiest line can produce.
    {"store_results_per_s", ">=1000",
     [](const DBenchReporter& r) { return r.counter("BM_StoreResults", "items_per_second"); },
     [](double v) {
         return v >= 1000;
     }},
    {"mqtt_publish_results_per_s", ">=1000",
     [](const DBenchReporter& r) { return r.counter("BM_MqttPublish", "items_per_second"); },
     [](double v) { return v >= 1000; }, nullptr, true},
};

bool printFigures(const DBenchReporter& reporter) {
    bool allMet = true;
    std::printf("\n");
    for (const Figure& figure : figures) {
        const std::optional<double> measured = figure.measure(reporter);
        if (figure.needsBroker && MosquittoBroker::program().isEmpty()) {
            std::printf("%s skipped (mosquitto is not installed) %s\n", figure.name,
                        figure.goalText);
            continue;
        }
        const bool met =
            measured && figure.meetsGoal(*measured) && (!figure.holds || figure.holds(reporter));
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
    // The host's dispatcher, whose timers scale with their number; Qt's own
    // (WRENCH_BENCH_QT_DISPATCHER=1) walks a list of them instead.
    if (!qEnvironmentVariableIsSet("WRENCH_BENCH_QT_DISPATCHER")) {
        QCoreApplication::setEventDispatcher(new DEventDispatcher);
    }
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
