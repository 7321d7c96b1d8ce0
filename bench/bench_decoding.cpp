// The pure decoders, one line or preset at a time: record lines to
// "eventData", printed result lines to the panel's fields, presets to program
// frames.

#include "d_bench_reporter.h"
#include "d_bench_samples.h"

#include <be_maintenance_plugin.h>
#include <d_program_frame.h>
#include <d_tightening_record.h>

#include <benchmark/benchmark.h>

namespace {

template <class Item, class Decode>
void decodeEach(benchmark::State& state, const QList<Item>& items, Decode&& decode) {
    for (auto _ : state) {
        for (const Item& item : items) {
            auto decoded = decode(item);
            benchmark::DoNotOptimize(decoded);
        }
    }
    state.SetItemsProcessed(state.iterations() * items.size());
}

void BM_RecordToEventData(benchmark::State& state) {
    QList<QByteArray> lines;
    for (int number = 1; number <= 16; ++number) {
        lines.append(DBenchSamples::recordLine(number));
    }
    for (const QByteArray& line : lines) {
        if (DTighteningRecord::eventData(line, 1, 3).size() != 15) {
            state.SkipWithError("a sample record does not decode");
            return;
        }
    }
    int eventCountNo = 0;
    decodeEach(state, lines, [&eventCountNo](const QByteArray& line) {
        return DTighteningRecord::eventData(line, ++eventCountNo, 3);
    });
}
BENCHMARK(BM_RecordToEventData)->Repetitions(timedRepetitions);

void BM_ResultLineToMap(benchmark::State& state) {
    BeMaintenanceDeviceStahlwille backend;
    const QList<QByteArray> lines = DBenchSamples::resultLines();
    for (const QByteArray& line : lines) {
        if (backend.convertFrameToMap(line).size() != 5) {
            state.SkipWithError("a sample result line does not parse");
            return;
        }
    }
    decodeEach(state, lines,
               [&backend](const QByteArray& line) { return backend.convertFrameToMap(line); });
}
BENCHMARK(BM_ResultLineToMap)->Repetitions(timedRepetitions);

void BM_PresetToProgramFrame(benchmark::State& state) {
    const QList<QVariantMap> presets = DBenchSamples::presets();
    const QByteArray serialPrefix("W1");
    for (const QVariantMap& preset : presets) {
        if (!DProgramFrame::fromPreset(preset, serialPrefix)) {
            state.SkipWithError("a sample preset makes no frame");
            return;
        }
    }
    decodeEach(state, presets, [&serialPrefix](const QVariantMap& preset) {
        return DProgramFrame::fromPreset(preset, serialPrefix);
    });
}
BENCHMARK(BM_PresetToProgramFrame)->Repetitions(timedRepetitions);

} // namespace
