#include "sim_output.h"

#include <d_listen_line_parser.h>
#include <d_sim_frame.h>
#include <d_sim_wrench.h>
#include <d_tightening_record.h>

#include <QtTest>

#include <cstring>

using Frames = QList<QByteArray>;

namespace {

const QByteArray sat = "SAT,0005000,0300,+0025,-0025,0012500,+0000500,-0000500";
const QByteArray sta = "STA,0012500,+0000500,-0000500,0005000,0300,+0025,-0025";
const QByteArray sea = "SEA,0005000,0300";
const QByteArray set = "SET,0012500,+0000500,-0000500";

// "{1}" and "{2}" stand for the first and second record the wrench saved.
QByteArray withRecords(QByteArray text, const QList<QByteArray>& records) {
    for (int i = 0; i < records.size(); ++i) {
        text.replace("{" + QByteArray::number(i + 1) + "}", records.at(i));
    }
    return text;
}

QList<QByteArray> lines(const QByteArray& output) {
    QByteArray text = output;
    text.replace("\r\n", "\r");
    QList<QByteArray> result = text.split('\r');
    if (!result.isEmpty() && result.last().isEmpty()) {
        result.removeLast();
    }
    return result;
}

} // namespace

class TstSimWrench : public QObject {
    Q_OBJECT

private slots:
    // Frames written, after some tightenings: the exact bytes answered and how
    // many records are left.
    void answers_data() {
        QTest::addColumn<QByteArray>("serialId");
        QTest::addColumn<int>("tightenings");
        QTest::addColumn<Frames>("writes");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("savedAfter");
        const auto row = [](const char* tag, const Frames& writes, const char* answer,
                            int tightenings = 0, int savedAfter = -1) {
            QTest::newRow(tag) << QByteArray("W1") << tightenings << writes << QByteArray(answer)
                               << (savedAfter < 0 ? tightenings : savedAfter);
        };
        const auto program = [&](const char* tag, const QByteArray& frame, const char* answer) {
            row(tag, {"W1" + frame + "\r"}, answer);
        };
        row("BAT", {"W1BAT\r"}, "W1BAT,087\r");
        row("LCK", {"W1LCK\r"}, "W1OK\r");
        row("UCK", {"W1UCK\r"}, "W1OK\r");
        row("DKS", {"W1DKS\r"}, "W1OK\r");
        row("EKS", {"W1EKS\r"}, "W1OK\r");
        row("DEL", {"W1DEL\r"}, "W1OK\r");
        row("two frames, answers in order", {"W1LCK\rW1BAT\rW1UCK\r"}, "W1OK\rW1BAT,087\rW1OK\r");

        program("SAT", sat, "W1OK\r");
        program("STA", sta, "W1OK\r");
        program("SEA", sea, "W1OK\r");
        program("SET", set, "W1OK\r");
        program("SAT, no tolerances", "SAT,0005000,0300,0012500", "W1OK\r");
        program("wider fields", "SET,00012500,+00000500,-00000500", "W1OK\r");
        program("torque too narrow", "SET,012500", "W1?\r");
        program("minus tolerance too narrow", "SET,0012500,+0000500,-000500", "W1?\r");
        program("angle too narrow", "SEA,0005000,300", "W1?\r");
        program("tolerance signs swapped", "SET,0012500,-0000500,+0000500", "W1?\r");
        program("tolerance without sign", "SET,0012500,0000500,-0000500", "W1?\r");
        program("negative start torque", "SEA,-000250,0300", "W1?\r");
        program("letter in a field", "SET,00125a0", "W1?\r");
        program("trailing comma", "SET,0012500,", "W1?\r");
        program("field too many", "SEA,0005000,0300,0012500", "W1?\r");
        program("field missing", "SAT,0005000,0300", "W1?\r");
        program("no fields", "SET", "W1?\r");

        row("GDS, nothing saved", {"W1GDS\r"}, "W1no new saved\r");
        row("GDS, oldest first", {"W1GDS\r"}, "{1}\r", 2);
        row("GDS twice, same record", {"W1GDS\rW1GDS\r"}, "{1}\r{1}\r", 2);
        row("CLR before GDS removes nothing", {"W1CLR\r", "W1GDS\r"}, "W1no new saved\r{1}\r", 2);
        row("GDS, CLR, GDS", {"W1GDS\r", "W1CLR\r", "W1GDS\r"}, "{1}\rW1OK\r{2}\r", 2, 1);
        row("second CLR removes nothing", {"W1GDS\r", "W1CLR\r", "W1CLR\r"},
            "{1}\rW1OK\rW1no new saved\r", 2, 1);
        row("CLR with nothing saved", {"W1CLR\r"}, "W1no new saved\r");
        row("the listen exchange",
            {"W1CLR\r", "W1GDS\r", "W1CLR\r", "W1CLR\r", "W1GDS\r", "W1CLR\r", "W1CLR\r",
             "W1GDS\r"},
            "W1no new saved\r{1}\rW1OK\rW1no new saved\r{2}\rW1OK\rW1no new saved\rW1no new "
            "saved\r",
            2, 0);

        row("unknown mnemonic", {"W1XYZ\r"}, "W1?\r");
        row("serial ID alone", {"W1\r"}, "W1?\r");
        row("field after BAT", {"W1BAT,1\r"}, "W1?\r");
        row("mnemonic too long", {"W1GDSX\r"}, "W1?\r");
        row("other serial ID", {"W2BAT\r"}, "");
        row("serial ID in other case", {"w1BAT\r"}, "");
        row("no serial ID", {"BAT\r"}, "");
        row("no CR yet", {"W1BAT"}, "");
        row("empty frames", {"\r\r\n\r"}, "");
        row("split over receives", {"W", "1B", "AT", "\r"}, "W1BAT,087\r");
        row("LF ignored anywhere", {"\nW1\nBAT\r\n"}, "W1BAT,087\r");
        row("longest frame", {"W1SET," + QByteArray(250, '0') + "\r"}, "W1OK\r");
        row("frame one byte too long", {"W1SET," + QByteArray(251, '0') + "\r", "W1BAT\r"},
            "W1?\rW1BAT,087\r");
        row("oversized frame over receives",
            {"W1" + QByteArray(200, 'A'), QByteArray(5000, 'A'), "\rW1BAT\r"}, "W1?\rW1BAT,087\r");
        row("oversized frame of another wrench", {QByteArray(300, 'X') + "\rW1BAT\r"},
            "W1BAT,087\r");
        QTest::newRow("empty serial ID")
            << QByteArray() << 0 << Frames{"BAT\rW1BAT\r"} << QByteArray("BAT,087\r?\r") << 0;
    }

    void answers() {
        QFETCH(QByteArray, serialId);
        QFETCH(int, tightenings);
        QFETCH(Frames, writes);
        DSimWrench wrench(serialId);
        for (int i = 0; i < tightenings; ++i) {
            wrench.tighten();
        }
        const QList<QByteArray> records = wrench.savedRecords();
        QVERIFY(settle(&wrench));
        SimOutput output(&wrench);
        QVERIFY(feed(&wrench, output, writes));
        QFETCH(QByteArray, answer);
        QCOMPARE(output.all(), withRecords(answer, records));
        QTEST(wrench.savedRecordCount(), "savedAfter");
    }

    // Frames written; the state they leave.
    void state_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<Frames>("writes");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("screenLocked");
        QTest::addColumn<QByteArray>("program");
        const QByteArray none;
        QTest::newRow("fresh") << "" << Frames{} << false << false << none;
        QTest::newRow("LCK") << "" << Frames{"W1LCK\r"} << true << false << none;
        QTest::newRow("LCK, UCK") << "" << Frames{"W1LCK\rW1UCK\r"} << false << false << none;
        QTest::newRow("DKS") << "" << Frames{"W1DKS\r"} << false << true << none;
        QTest::newRow("DKS, EKS") << "" << Frames{"W1DKS\rW1EKS\r"} << false << false << none;
        QTest::newRow("program") << "" << Frames{"W1" + sat + "\r"} << false << false << sat;
        QTest::newRow("invalid program keeps the last")
            << "" << Frames{"W1" + sea + "\rW1SET,1\r"} << false << false << sea;
        QTest::newRow("DEL") << "" << Frames{"W1" + sea + "\rW1DEL\r"} << false << false << none;
        QTest::newRow("another wrench's LCK") << "" << Frames{"W2LCK\r"} << false << false << none;
        QTest::newRow("refused") << "refuse" << Frames{"W1LCK\rW1DKS\rW1" + sea + "\r"} << false
                                 << false << none;
        QTest::newRow("silent") << "silent" << Frames{"W1LCK\rW1DKS\rW1" + sea + "\r"} << false
                                << false << none;
    }

    void state() {
        QFETCH(QString, faults);
        QFETCH(Frames, writes);
        DSimFaults parsed;
        QVERIFY(DSimFaults::fromList(faults, &parsed, nullptr));
        DSimWrench wrench("W1", parsed);
        SimOutput output(&wrench);
        QVERIFY(feed(&wrench, output, writes));
        QTEST(wrench.isLocked(), "locked");
        QTEST(wrench.isScreenLocked(), "screenLocked");
        QTEST(wrench.program(), "program");
    }

    // Faults that keep the answers readable: the answer lines once noise is
    // taken out, and the largest chunk.
    void faults_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<Frames>("writes");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("largestChunk");
        const Frames exchange{"W1BAT\r", "W1GDS\r", "W1CLR\r", "W1XYZ\r", "W2BAT\r"};
        const QByteArray answers = "W1BAT,087\r{1}\rW1OK\rW1?\r";
        QTest::newRow("none") << "" << exchange << answers << 0;
        QTest::newRow("refuse") << "refuse" << exchange << QByteArray("W1?\rW1?\rW1?\rW1?\r") << 0;
        QTest::newRow("crlf") << "crlf" << exchange
                              << QByteArray("W1BAT,087\r\n{1}\r\nW1OK\r\nW1?\r\n") << 0;
        QTest::newRow("repeat") << "repeat" << exchange
                                << QByteArray("W1BAT,087\r{1}\r{1}\rW1OK\rW1?\r") << 0;
        QTest::newRow("repeat, nothing saved")
            << "repeat" << Frames{"W1GDS\rW1CLR\rW1GDS\r", "W1CLR\r"}
            << QByteArray("{1}\r{1}\rW1OK\rW1no new saved\rW1no new saved\r") << 0;
        QTest::newRow("split") << "split" << exchange << answers << 7;
        QTest::newRow("split, crlf")
            << "split,crlf" << exchange << QByteArray("W1BAT,087\r\n{1}\r\nW1OK\r\nW1?\r\n") << 7;
        QTest::newRow("garbage") << "garbage" << exchange << answers << 0;
        QTest::newRow("garbage, split, crlf, repeat")
            << "garbage,split,crlf,repeat" << exchange
            << QByteArray("W1BAT,087\r\n{1}\r\n{1}\r\nW1OK\r\nW1?\r\n") << 7;
        QTest::newRow("silent") << "silent" << exchange << QByteArray() << 0;
    }

    void faults() {
        QFETCH(QString, faults);
        QFETCH(Frames, writes);
        QFETCH(QByteArray, answer);
        QFETCH(int, largestChunk);
        DSimFaults parsed;
        QVERIFY(DSimFaults::fromList(faults, &parsed, nullptr));
        DSimWrench wrench("W1", parsed, 7);
        wrench.tighten();
        const QList<QByteArray> records = wrench.savedRecords();
        QVERIFY(settle(&wrench));
        SimOutput output(&wrench);
        QVERIFY(feed(&wrench, output, writes));

        QByteArray received = output.all();
        if (parsed.garbage) {
            // A line of noise before each answer, never like an answer or a record.
            const QList<QByteArray> all = lines(received);
            QCOMPARE(all.size() % 2, 0);
            QByteArray answers;
            for (int i = 0; i < all.size(); i += 2) {
                const QByteArray& noise = all.at(i);
                QVERIFY2(!noise.startsWith("W1") && !noise.contains(',') && noise.size() >= 16,
                         noise.constData());
                QVERIFY(DListenLineParser::parse(noise).isEmpty());
                answers += all.at(i + 1) + (parsed.crlf ? "\r\n" : "\r");
            }
            received = answers;
        }
        QCOMPARE(received, withRecords(answer, records));
        for (const QByteArray& chunk : qAsConst(output.chunks)) {
            QVERIFY(!chunk.isEmpty());
            QVERIFY(largestChunk == 0 || chunk.size() <= largestChunk);
        }
        if (largestChunk == 0) {
            QVERIFY(output.chunks.size() <= writes.size());
        }
    }

    // Once, before the first answer and after what was queued before it (a
    // result line): the flood, in chunks, without a line end.
    void flood_data() {
        QTest::addColumn<QString>("faults");
        QTest::newRow("flood") << "flood";
        QTest::newRow("flood, split") << "flood,split";
        QTest::newRow("flood, garbage") << "flood,garbage";
    }

    void flood() {
        QFETCH(QString, faults);
        DSimFaults parsed;
        QVERIFY(DSimFaults::fromList(faults, &parsed, nullptr));
        DSimWrench wrench("W1", parsed);
        QByteArray printed;
        qint64 flooded = 0;
        int largest = 0;
        bool lineEnd = false;
        QByteArray after;
        connect(&wrench, &DSimWrench::output, this, [&](const QByteArray& bytes) {
            largest = qMax(largest, int(bytes.size()));
            int offset = 0;
            if (!printed.endsWith('\r')) {
                offset = qMin(bytes.indexOf('\r') + 1, 100 - int(printed.size()));
                offset = offset > 0 ? offset : qMin(int(bytes.size()), 100 - int(printed.size()));
                printed += bytes.left(offset);
            }
            const char* flood = bytes.constData() + offset;
            const qint64 inFlood =
                qMin(qint64(bytes.size() - offset), DSimWrench::floodBytes - flooded);
            lineEnd = lineEnd || std::memchr(flood, '\r', size_t(inFlood)) ||
                      std::memchr(flood, '\n', size_t(inFlood));
            flooded += inFlood;
            after += bytes.mid(offset + int(inFlood));
        });
        wrench.tighten();
        wrench.receive("W1BAT\r");
        QVERIFY(settle(&wrench, 60000));
        QVERIFY2(!DListenLineParser::parse(printed.chopped(1)).isEmpty(), printed.constData());
        QCOMPARE(flooded, DSimWrench::floodBytes);
        QVERIFY(!lineEnd);
        QVERIFY(largest <= DSimWrench::floodChunkBytes);
        if (!parsed.garbage) {
            QCOMPARE(after, QByteArray("W1BAT,087\r"));
        } else {
            QCOMPARE(lines(after).size(), 2);
            QVERIFY(after.endsWith("\rW1BAT,087\r"));
        }

        after.clear();
        wrench.receive("W1LCK\r");
        QVERIFY(settle(&wrench));
        QCOMPARE(flooded, DSimWrench::floodBytes);
        QVERIFY(after.endsWith("W1OK\r") && after.size() < 64);
    }

    // A tightening after a program: what is saved and printed, read the way
    // the plug-in reads it.
    void tightening_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QVariantMap>("targets");
        const auto targets = [](double torque, double tolPos, double tolNeg, double angle,
                                double angleTolPos, double angleTolNeg, const char* mode,
                                const char* method) {
            return QVariantMap{{"setpointTorque", torque},
                               {"torqueTolPos", tolPos},
                               {"torqueTolNeg", tolNeg},
                               {"setpointAngle", angle},
                               {"angleTolPos", angleTolPos},
                               {"angleTolNeg", angleTolNeg},
                               {"mode", mode},
                               {"method", method}};
        };
        QTest::newRow("no program") << QByteArray() << targets(10, 0, 0, 0, 0, 0, "free", "none");
        QTest::newRow("SAT") << sat
                             << targets(12.5, 0.5, -0.5, 30, 2.5, -2.5, "angle-torque", "SAT");
        QTest::newRow("STA") << sta
                             << targets(12.5, 0.5, -0.5, 30, 2.5, -2.5, "torque-angle", "STA");
        QTest::newRow("SEA") << sea << targets(0, 0, 0, 30, 0, 0, "angle", "SEA");
        QTest::newRow("SET") << set << targets(12.5, 0.5, -0.5, 0, 0, 0, "torque", "SET");
        QTest::newRow("uneven tolerances") << QByteArray("SET,0020000,+0001000,-0000200")
                                           << targets(20, 1, -0.2, 0, 0, 0, "torque", "SET");
    }

    void tightening() {
        QFETCH(QByteArray, program);
        QFETCH(QVariantMap, targets);
        DSimWrench wrench;
        SimOutput output(&wrench);
        if (!program.isEmpty()) {
            QVERIFY(feed(&wrench, output, {"W1" + program + "\r", "W1DKS\r"}));
            output.chunks.clear();
        }
        QSignalSpy tightened(&wrench, &DSimWrench::tightened);
        wrench.tighten();
        QVERIFY(output.chunks.isEmpty());
        QCOMPARE(tightened.size(), 1);
        const QByteArray record = tightened.at(0).at(0).toByteArray();
        QCOMPARE(wrench.savedRecords(), QList<QByteArray>{record});
        QCOMPARE(wrench.tighteningCount(), 1);

        const QVariantMap event = DTighteningRecord::eventData(record, 1, std::nullopt);
        QVERIFY2(!event.isEmpty(), record.constData());
        for (auto it = targets.cbegin(); it != targets.cend(); ++it) {
            QCOMPARE(event.value(it.key()), it.value());
        }
        QCOMPARE(event.value("torqueUnit").toString(), QString("nm"));
        QVERIFY(event.value("timestamp").toInt() > DSimWrench::firstTimestamp);
        const double setTorque = targets.value("setpointTorque").toDouble();
        const double torque = event.value("convertedTorque").toDouble();
        if (setTorque > 0) {
            QVERIFY(qAbs(torque - setTorque) <= setTorque * 0.05 + 0.05);
        }
        const double setAngle = targets.value("setpointAngle").toDouble();
        if (setAngle > 0) {
            QVERIFY(qAbs(event.value("snugTorqueAngle").toDouble() - setAngle) <=
                    setAngle * 0.05 + 0.05);
        }

        QVERIFY(settle(&wrench));
        QVERIFY(output.all().endsWith('\r'));
        const QVariantMap printed = DListenLineParser::parse(output.all().chopped(1));
        QVERIFY2(!printed.isEmpty(), output.all().constData());
        QCOMPARE(printed.value("Event number").toString(), QString("0001"));
        QVERIFY(printed.value("Torque").toString().endsWith(" Nm"));
        QVERIFY(qAbs(printed.value("Torque").toString().chopped(3).toDouble() - torque) <= 0.051);
        QVERIFY(printed.value("Internal date/time").toString().startsWith("05Mar24 10:"));
    }

    void startTightenings() {
        DSimWrench wrench;
        wrench.startTightenings(3, 1500);
        QTimer* timer = wrench.findChild<QTimer*>("tighteningTimer");
        QVERIFY(timer && timer->isActive() && !timer->isSingleShot());
        QCOMPARE(timer->interval(), 1500);
        QCOMPARE(wrench.tighteningCount(), 0);
        timer->start(1);
        QTRY_COMPARE(wrench.tighteningCount(), 3);
        QVERIFY(!timer->isActive());
        QCOMPARE(wrench.savedRecordCount(), 3);

        wrench.startTightenings(5, 1);
        wrench.startTightenings(0, 1);
        QVERIFY(!timer->isActive());
    }

    // A reader holding the output back: nothing is emitted, and what queues up
    // meanwhile is bounded, dropped by whole lines.
    void pausedOutput() {
        DSimWrench wrench;
        SimOutput output(&wrench);
        wrench.setOutputPaused(true);
        wrench.receive("W1BAT\r");
        QCoreApplication::processEvents();
        QVERIFY(output.chunks.isEmpty() && wrench.hasPendingOutput());

        const int frames = int(DSimWrench::maxPendingBytes / 10) + 1000;
        wrench.receive(QByteArray("W1BAT\r").repeated(frames));
        wrench.setOutputPaused(false);
        QVERIFY(settle(&wrench));
        const QByteArray all = output.all();
        QVERIFY(all.size() <= DSimWrench::maxPendingBytes);
        QVERIFY(all.size() > DSimWrench::maxPendingBytes - 10);
        QCOMPARE(all, QByteArray("W1BAT,087\r").repeated(all.size() / 10));
    }

    // Fault lists as the options give them.
    void faultList_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("parsed");
        QTest::newRow("empty") << "" << true << "";
        QTest::newRow("all, any order") << "flood,repeat,garbage,crlf,split,refuse,silent" << true
                                        << "silent,refuse,split,crlf,garbage,repeat,flood";
        QTest::newRow("blanks and empty items") << " split, ,crlf," << true << "split,crlf";
        QTest::newRow("unknown") << "split,loud" << false << "loud";
        QTest::newRow("case matters") << "Split" << false << "Split";
    }

    void faultList() {
        QFETCH(QString, list);
        DSimFaults faults;
        faults.flood = true;
        QString error;
        QTEST(DSimFaults::fromList(list, &faults, &error), "ok");
        QFETCH(bool, ok);
        QTEST(ok ? faults.toList() : error, "parsed");
        QVERIFY(ok || faults.flood);
    }
};

QTEST_GUILESS_MAIN(TstSimWrench)
#include "tst_sim_wrench.moc"
