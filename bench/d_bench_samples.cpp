#include "d_bench_samples.h"

#include <random>

QByteArray DBenchSamples::recordLine(int number) {
    return QByteArray::number(number) + ",12" + QByteArray::number(number % 10) + ",125,5,-5,30" +
           QByteArray::number(number % 7) + ",300,25,-25," +
           QByteArray::number(1000 + number % 1000) + ',' +
           QByteArray::number(firstTimestamp + number) + (number % 3 ? ",ok" : ",nok") +
           ",torque-angle,STA,Nm";
}

QList<QByteArray> DBenchSamples::resultLines() {
    return {"0042 12.50 Nm = 1.25 10:42 05Mar24", "0001 -3.75 Nm < 0.80 23:59 31Dec23",
            "9999 125.00 ft.lb > 12:00 01Jan25", "0310 7.05 Nm=2.50 08:15 17Jul24"};
}

QList<QVariantMap> DBenchSamples::presets() {
    return {
        {{"angle", 30},
         {"targetTorque", 12.5},
         {"startTorque", 5},
         {"angleTol", 2.5},
         {"torqueTol", 0.5}},
        {{"angle", 90},
         {"targetTorque", 40},
         {"startTorque", 10},
         {"angleTol", 5},
         {"torqueTol", 2},
         {"priority", "angle"}},
        {{"angle", 45}, {"startTorque", 3}, {"angleTol", 1.5}},
        {{"targetTorque", 8.25}, {"torqueTol", 0.25}},
    };
}

namespace {

QByteArray textLine(std::mt19937& random, int length) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .:-";
    std::uniform_int_distribution<int> pick(0, int(sizeof alphabet) - 2);
    QByteArray line(length, Qt::Uninitialized);
    for (char& byte : line) {
        byte = alphabet[pick(random)];
    }
    return line;
}

QByteArray repeatedRecord(std::mt19937& random, int length) {
    QByteArray line = DBenchSamples::recordLine(1);
    while (line.size() < length) {
        line += ',' + QByteArray::number(int(random() % 1000));
    }
    return line;
}

} // namespace

QByteArray DBenchSamples::lineStream(int totalBytes, quint32 seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(20, 120);
    QByteArray stream;
    stream.reserve(totalBytes + 256);
    while (stream.size() < totalBytes) {
        const int kind = int(random() % 4);
        stream +=
            kind == 0 ? repeatedRecord(random, length(random)) : textLine(random, length(random));
        stream += random() % 8 == 0 ? "\r\n" : "\r";
    }
    return stream;
}

QList<QByteArray> DBenchSamples::chunks(const QByteArray& bytes, int chunkBytes) {
    QList<QByteArray> list;
    for (int offset = 0; offset < bytes.size(); offset += chunkBytes) {
        list.append(bytes.mid(offset, chunkBytes));
    }
    return list;
}
