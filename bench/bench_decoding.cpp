// Record lines decoded to "eventData", one line at a time. A wrench sends at
// most some hundred lines a second.

#include <d_tightening_record.h>

#include <benchmark/benchmark.h>

namespace {

// A saved tightening as "GDS" answers it; the timestamp (field 10) differs
// with number.
QByteArray recordLine(int number) {
    return QByteArray::number(number) + ",12" + QByteArray::number(number % 10) + ",125,5,-5,30" +
           QByteArray::number(number % 7) + ",300,25,-25," +
           QByteArray::number(1000 + number % 1000) + ',' +
           QByteArray::number(1709634120 + number) + (number % 3 ? ",ok" : ",nok") +
           ",torque-angle,STA,Nm";
}

void BM_RecordToEventData(benchmark::State& state) {
    QList<QByteArray> lines;
    for (int number = 1; number <= 16; ++number) {
        lines.append(recordLine(number));
    }
    for (const QByteArray& line : lines) {
        if (DTighteningRecord::eventData(line, 1, 3).size() != 15) {
            state.SkipWithError("a sample record does not decode");
            return;
        }
    }
    int eventCountNo = 0;
    for (auto _ : state) {
        for (const QByteArray& line : lines) {
            auto decoded = DTighteningRecord::eventData(line, ++eventCountNo, 3);
            benchmark::DoNotOptimize(decoded);
        }
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(BM_RecordToEventData);

} // namespace
