#include "d_bench_reporter.h"

void DBenchReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration) {
            continue;
        }
        // "BM_Name/iterations:1" and the like are kept as "BM_Name".
        const std::string name = run.benchmark_name();
        m_runs.insert_or_assign(name.substr(0, name.find('/')), run);
    }
    ConsoleReporter::ReportRuns(runs);
}

std::optional<double> DBenchReporter::counter(const std::string& benchmark,
                                              const std::string& name) const {
    const auto run = m_runs.find(benchmark);
    if (run == m_runs.end() || run->second.error_occurred) {
        return std::nullopt;
    }
    const auto found = run->second.counters.find(name);
    if (found == run->second.counters.end()) {
        return std::nullopt;
    }
    return found->second.value;
}
