// What keeping and forwarding a result costs: one committed row of the store
// (synchronous=FULL, so one fsync of the log each), and one result through the
// forwarder to a local mosquitto broker until it is acknowledged and marked.

#include <d_mqtt_target.h>
#include <d_result_forwarder.h>
#include <d_result_store.h>
#include <mosquitto_broker.h>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int forwardedResults = 5000;

DResultSink::Result tightening(int number) {
    const QVariantMap map{
        {"convertedTorque", 10.2}, {"setpointTorque", 10.0},  {"torqueTolPos", 0.5},
        {"torqueTolNeg", 0.5},     {"snugTorqueAngle", 32.8}, {"setpointAngle", 0.0},
        {"angleTolPos", 0.0},      {"angleTolNeg", 0.0},      {"timestamp", 1709634136 + number},
        {"eventStatus", "OK"},     {"mode", "free"},          {"method", "none"},
        {"torqueUnit", "nm"},      {"eventCountNo", number},  {"presetNo", 3}};
    return {QStringLiteral("W1"), QDateTime::currentDateTimeUtc(), map};
}

void BM_StoreResults(benchmark::State& state) {
    QTemporaryDir dir;
    DResultStore store;
    QString error;
    if (!store.open(dir.filePath("bench.db"), &error)) {
        state.SkipWithError(error.toUtf8().constData());
        return;
    }
    int number = 0;
    for (auto _ : state) {
        const DResultSink::Taken taken = store.takeResult(tightening(++number));
        if (taken.outcome != DResultSink::Taken::Outcome::Kept) {
            state.SkipWithError(taken.message.toUtf8().constData());
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
// Real time: the commit waits for the disk, not for the CPU.
BENCHMARK(BM_StoreResults)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_MqttPublish(benchmark::State& state) {
    MosquittoBroker broker;
    QString error;
    if (MosquittoBroker::program().isEmpty() || !broker.start(&error)) {
        state.SkipWithError(error.isEmpty() ? "mosquitto is not installed"
                                            : error.toUtf8().constData());
        return;
    }
    DMqttTarget target;
    target.parse(broker.url(QStringLiteral("bench")), &error);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        DResultStore store;
        store.open(dir.filePath("queued.db"), &error);
        for (int number = 1; number <= forwardedResults; ++number) {
            store.takeResult(tightening(number));
        }
        state.ResumeTiming();
        DResultForwarder forwarder(&store, target, QStringLiteral("W1"), true);
        forwarder.start();
        const int left = forwarder.waitUntilSent(60000);
        if (left != 0) {
            state.SkipWithError("results were left unsent");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * forwardedResults);
}
BENCHMARK(BM_MqttPublish)->UseRealTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
