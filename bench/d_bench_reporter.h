#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <optional>
#include <string>

// Timed benchmarks run this many times; the figures take the fastest, the
// one least disturbed by whatever else the machine was doing.
constexpr int timedRepetitions = 5;

// The console output of Google Benchmark, with the fastest run of each
// benchmark kept by name so that the figures can be worked out once all have
// run.
class DBenchReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Nothing for a benchmark that did not run or stopped with an error.
    std::optional<double> counter(const std::string& benchmark, const std::string& name) const;
    std::optional<double> cpuSecondsPerIteration(const std::string& benchmark) const;

private:
    static double cpuPerIteration(const Run& run);
    const Run* find(const std::string& benchmark) const;

    std::map<std::string, Run> m_runs;
};
