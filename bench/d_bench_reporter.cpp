#include "d_bench_reporter.h"

void DBenchReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration) {
            continue;
        }
        // "BM_Name/iterations:1" and the like are kept as "BM_Name".
        const std::string name = run.benchmark_name();
        const std::string key = name.substr(0, name.find('/'));
        const auto kept = m_runs.find(key);
        if (kept == m_runs.end() || kept->second.error_occurred ||
            (!run.error_occurred && cpuPerIteration(run) < cpuPerIteration(kept->second))) {
            m_runs.insert_or_assign(key, run);
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

std::optional<double> DBenchReporter::counter(const std::string& benchmark,
                                              const std::string& name) const {
    const Run* run = find(benchmark);
    if (!run) {
        return std::nullopt;
    }
    const auto found = run->counters.find(name);
    if (found == run->counters.end()) {
        return std::nullopt;
    }
    return found->second.value;
}

std::optional<double> DBenchReporter::cpuSecondsPerIteration(const std::string& benchmark) const {
    const Run* run = find(benchmark);
    if (!run || run->iterations == 0) {
        return std::nullopt;
    }
    return cpuPerIteration(*run);
}

double DBenchReporter::cpuPerIteration(const Run& run) {
    return run.iterations == 0 ? 0.0 : run.cpu_accumulated_time / double(run.iterations);
}

const DBenchReporter::Run* DBenchReporter::find(const std::string& benchmark) const {
    const auto found = m_runs.find(benchmark);
    if (found == m_runs.end() || found->second.error_occurred) {
        return nullptr;
    }
    return &found->second;
}
