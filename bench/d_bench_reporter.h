#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <optional>
#include <string>

// The console output of Google Benchmark, with every run kept by benchmark
// name so that the figures can be worked out once all have run.
class DBenchReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Nothing for a benchmark that did not run or stopped with an error.
    std::optional<double> counter(const std::string& benchmark, const std::string& name) const;
    std::optional<double> cpuSecondsPerIteration(const std::string& benchmark) const;

private:
    const Run* find(const std::string& benchmark) const;

    std::map<std::string, Run> m_runs;
};
