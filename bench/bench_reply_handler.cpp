// Bytes through the listen command's reply handler, against the plainest split
// of the same bytes into lines (memchr for the CR, the partial line carried in
// a buffer), both on the same 64-byte chunks.

#include "d_bench_reporter.h"
#include "d_bench_samples.h"

#include <command_bench.h>
#include <d_cmd_listen.h>

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

// The replies are built before they are timed, some 300 bytes of map, node
// and chunk for every 64 bytes of stream. The driver hands the handler a
// reply it has just built, still in cache; a stream of 32 KiB keeps its
// replies within the second level cache, as a larger one would not (at
// 256 KiB the handler measured some 20 % slower for misses on the maps
// alone, the memchr split not at all).
constexpr int streamBytes = 32 * 1024;
constexpr int chunkBytes = 64;

const QList<QByteArray>& streamChunks() {
    static const QList<QByteArray> chunks =
        DBenchSamples::chunks(DBenchSamples::lineStream(streamBytes, 42), chunkBytes);
    return chunks;
}

qint64 totalBytes(const QList<QByteArray>& chunks) {
    qint64 total = 0;
    for (const QByteArray& chunk : chunks) {
        total += chunk.size();
    }
    return total;
}

// The driver's replies, numbered on from 1; the handler drops a reply whose
// number repeats the one before, so the numbers must change from each to the
// next (they do, also from the last reply of one pass to the first of the
// next).
QList<QVariantMap> numberedReplies(const QList<QByteArray>& chunks) {
    QList<QVariantMap> replies;
    int number = 0;
    for (const QByteArray& chunk : chunks) {
        replies.append({{"frame", chunk}, {"number", ++number}});
    }
    return replies;
}

// A listen command that has seen recordLine(1) and its clear, and is polling:
// a copy of that record is a record already seen, and is neither published
// nor cleared again.
void bringToPolling(DCmdListen& listen) {
    int number = 1000000;
    for (const QByteArray& line :
         {QByteArray("W1no new saved\r"), DBenchSamples::recordLine(1) + '\r',
          QByteArray("W1no new saved\r")}) {
        listen.cbListenReply(1, {{"frame", line}, {"number", ++number}});
    }
    drainEvents();
}

void BM_ReplyHandler(benchmark::State& state) {
    CommandBench bench("listenEventsData", {{"serialId", "W1"}});
    auto* listen = bench.as<DCmdListen>();
    bench.execute();
    bringToPolling(*listen);
    const int eventsBefore = bench.values.size();
    const int writesBefore = bench.written().size();
    if (eventsBefore != 1) {
        state.SkipWithError("the listen command did not publish the first record");
        return;
    }

    const QList<QVariantMap> replies = numberedReplies(streamChunks());
    for (auto _ : state) {
        for (const QVariantMap& reply : replies) {
            listen->cbListenReply(1, reply);
        }
    }
    if (bench.values.size() != eventsBefore || bench.written().size() != writesBefore) {
        state.SkipWithError("a repeated record was published or cleared again");
        return;
    }
    state.SetBytesProcessed(state.iterations() * totalBytes(streamChunks()));
    bench.finish();
}
BENCHMARK(BM_ReplyHandler)->Repetitions(timedRepetitions)->Unit(benchmark::kMicrosecond);

void BM_MemchrSplit(benchmark::State& state) {
    const QList<QByteArray>& chunks = streamChunks();
    QByteArray partial;
    qint64 lines = 0;
    for (auto _ : state) {
        for (const QByteArray& chunk : chunks) {
            const char* cursor = chunk.constData();
            const char* const end = cursor + chunk.size();
            while (cursor < end) {
                const auto* lineEnd =
                    static_cast<const char*>(std::memchr(cursor, '\r', size_t(end - cursor)));
                if (!lineEnd) {
                    partial.append(cursor, int(end - cursor));
                    break;
                }
                partial.append(cursor, int(lineEnd - cursor));
                benchmark::DoNotOptimize(partial.constData());
                ++lines;
                partial.truncate(0);
                cursor = lineEnd + 1;
            }
        }
    }
    benchmark::DoNotOptimize(lines);
    state.SetBytesProcessed(state.iterations() * totalBytes(chunks));
}
BENCHMARK(BM_MemchrSplit)->Repetitions(timedRepetitions)->Unit(benchmark::kMicrosecond);

} // namespace
