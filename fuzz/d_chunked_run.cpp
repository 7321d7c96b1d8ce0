#include "d_chunked_run.h"

#include <command_bench.h>
#include <d_instruction_router.h>

#include <QCoreApplication>

namespace {

constexpr int maxPlanLength = 8;
constexpr int sizeBits = 0x3f;
constexpr int withoutFrameBit = 0x40;
constexpr int repeatBit = 0x80;

struct Setup {
    const char* command;
    QVariantMap arguments;
    QVariantMap configuration;
};

QVariantMap onePreset() {
    const QVariantMap preset{{"angle", 30},     {"targetTorque", 12.5}, {"startTorque", 5},
                             {"angleTol", 2.5}, {"torqueTol", 0.5},     {"priority", "angle"}};
    return {{"presets", QVariantMap{{"1", preset}}}};
}

const QList<Setup>& setups() {
    static const QList<Setup> all{
        {"checkConnectionWithSerial", {{"serialId", "W1"}}, {}},
        {"setLock", {{"serialId", "W1"}, {"lock", true}}, {}},
        {"setScreenLock", {{"serialId", "W1"}, {"lock", true}}, {}},
        {"setProgram", {{"serialId", "W1"}, {"program", 1}}, onePreset()},
        {"listenEventsData", {{"serialId", "W1"}}, {}},
    };
    return all;
}

// A reply may post the next one (the preset lookup of "setProgram"): let
// both arrive.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

int DChunkedRun::planLength(const QByteArray& input) {
    if (input.isEmpty()) {
        return 0;
    }
    const int wanted = static_cast<unsigned char>(input.at(0)) % maxPlanLength;
    return qMin(wanted, int(input.size()) - 1);
}

QByteArray DChunkedRun::payloadOf(const QByteArray& input) {
    return input.isEmpty() ? QByteArray() : input.mid(1 + planLength(input));
}

QList<DChunkedRun::Reply> DChunkedRun::repliesFromInput(const QByteArray& input) {
    const QByteArray plan = input.mid(1, planLength(input));
    const QByteArray payload = payloadOf(input);
    if (plan.isEmpty()) {
        return chunked(payload, 0);
    }
    QList<Reply> replies;
    int offset = 0;
    for (int step = 0; offset < payload.size(); ++step) {
        const int code = static_cast<unsigned char>(plan.at(step % plan.size()));
        const int size = (code & sizeBits) + 1;
        replies.append(
            {payload.mid(offset, size), (code & withoutFrameBit) != 0, (code & repeatBit) != 0});
        offset += size;
    }
    return replies;
}

QList<DChunkedRun::Reply> DChunkedRun::chunked(const QByteArray& bytes, int chunkSize) {
    if (chunkSize <= 0) {
        return {Reply{bytes}};
    }
    QList<Reply> replies;
    for (int offset = 0; offset < bytes.size(); offset += chunkSize) {
        replies.append(Reply{bytes.mid(offset, chunkSize)});
    }
    return replies;
}

DChunkedRun::Published DChunkedRun::run(const QString& commandName, const QList<Reply>& replies) {
    Published published;
    for (const Setup& setup : setups()) {
        if (commandName != QLatin1String(setup.command)) {
            continue;
        }
        CommandBench bench(commandName, setup.arguments, setup.configuration);
        bench.execute();
        settle();
        int number = 0;
        for (const Reply& reply : replies) {
            if (reply.withoutFrame) {
                bench.reply({{"number", ++number}});
            }
            const int replyNumber = reply.repeatsNumber && number > 0 ? number : ++number;
            bench.reply({{"frame", reply.bytes}, {"number", replyNumber}});
        }
        bench.finish();
        settle();
        for (int i = 0; i < bench.values.size(); ++i) {
            const QString& update = bench.updates.at(i);
            published.updates.append({update.left(update.indexOf('=')), bench.values.at(i)});
        }
        for (const PScriptedDriver::Received& received : bench.driver.received()) {
            published.instructions.append(received.instruction + ' ' +
                                          describeValue(received.arguments.value("frame")));
        }
    }
    settle();
    published.leftStanding = DInstructionRouter::instance().instructionCount() != 0;
    return published;
}

QString DChunkedRun::describe(const Published& published, const QStringList& ignoredKeys) {
    QStringList lines;
    for (const auto& update : published.updates) {
        QVariant value = update.second;
        if (value.type() == QVariant::Map) {
            QVariantMap map = value.toMap();
            for (const QString& key : ignoredKeys) {
                map.remove(key);
            }
            value = map;
        }
        lines.append(update.first + '=' + describeValue(value));
    }
    lines += published.instructions;
    return lines.join('\n');
}
