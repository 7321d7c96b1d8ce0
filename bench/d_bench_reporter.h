#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <optional>
#include <string>

// The console output of Google Benchmark, with each benchmark's run kept by
// name so that the figures can be worked out once all have run.
class DBenchReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Nothing for a benchmark that did not run or stopped with an error.
    std::optional<double> counter(const std::string& benchmark, const std::string& name) const;

private:
    std::map<std::string, Run> m_runs;
};
