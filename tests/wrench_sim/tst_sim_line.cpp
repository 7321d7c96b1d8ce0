#include "sim_output.h"

#include <d_sim_line.h>
#include <d_sim_wrench.h>

#include <QtTest>

// The simulated wrench as a serial line in the process.
class TstSimLine : public QObject {
    Q_OBJECT

private slots:
    // Steps on a line: "open", "close", "write BYTES", "tighten", "settle"
    // (the wrench sends all it has), "read BYTES" (readAll must give them).
    void steps_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("write, readyRead, read")
            << QStringList{"open", "write W1BAT\r", "settle", "read W1BAT,087\r", "read "};
        QTest::newRow("answers in order") << QStringList{"open", "write W1LCK\r", "write W1BAT\r",
                                                         "settle", "read W1OK\rW1BAT,087\r"};
        QTest::newRow("frame over writes")
            << QStringList{"open", "write W1", "write LCK\r", "settle", "read W1OK\r"};
        QTest::newRow("closed line drops the output") << QStringList{
            "tighten", "settle", "open", "write W1BAT\r", "settle", "read W1BAT,087\r"};
        QTest::newRow("close clears what was not read")
            << QStringList{"open",  "write W1BAT\r", "settle", "close",      "open",
                           "read ", "write W1LCK\r", "settle", "read W1OK\r"};
        QTest::newRow("output after close is lost")
            << QStringList{"open", "write W1BAT\r", "close", "settle", "open", "read "};
        QTest::newRow("reopened line reads again")
            << QStringList{"open", "close", "open", "write W1UCK\r", "settle", "read W1OK\r"};
    }

    void steps() {
        QFETCH(QStringList, steps);
        DSimWrench wrench;
        DSimLine line(&wrench);
        QSignalSpy readyRead(&line, &QIODevice::readyRead);
        for (const QString& step : steps) {
            const QString word = step.section(' ', 0, 0);
            const QByteArray bytes = step.section(' ', 1).toLatin1();
            if (word == "open") {
                QVERIFY(line.open(QIODevice::ReadWrite));
            } else if (word == "close") {
                line.close();
                QCOMPARE(line.bytesAvailable(), 0);
            } else if (word == "write") {
                const int signalled = readyRead.size();
                QCOMPARE(line.write(bytes), qint64(bytes.size()));
                QCOMPARE(readyRead.size(), signalled);
            } else if (word == "tighten") {
                wrench.tighten();
            } else if (word == "settle") {
                QVERIFY(settle(&wrench));
            } else if (word == "read") {
                QCOMPARE(line.bytesAvailable(), qint64(bytes.size()));
                QCOMPARE(line.readAll(), bytes);
            }
        }
        QCOMPARE(readyRead.isEmpty(), !steps.join(' ').contains(QRegularExpression("read [^ ]")));
    }

    void writeWhileClosedOrWithoutWrench() {
        auto* wrench = new DSimWrench;
        DSimLine line(wrench);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
        QCOMPARE(line.write("W1BAT\r"), qint64(-1));
        QVERIFY(line.open(QIODevice::ReadWrite));
        delete wrench;
        QCOMPARE(line.write("W1BAT\r"), qint64(-1));
        QVERIFY(line.isSequential());
    }

    // A reader that does not read holds the wrench back; reading lets it go on.
    void unreadOutputHoldsTheWrench() {
        DSimFaults faults;
        faults.flood = true;
        DSimWrench wrench("W1", faults);
        DSimLine line(&wrench);
        QVERIFY(line.open(QIODevice::ReadWrite));
        line.write("W1BAT\r");
        QVERIFY(waitForOutput(&wrench, [&] { return wrench.isOutputPaused(); }));
        QVERIFY(line.bytesAvailable() >= DSimLine::maxUnreadBytes);
        QVERIFY(line.bytesAvailable() < DSimLine::maxUnreadBytes + DSimWrench::floodChunkBytes);

        qint64 total = 0;
        QByteArray tail;
        connect(&line, &QIODevice::readyRead, this, [&] {
            const QByteArray bytes = line.readAll();
            total += bytes.size();
            tail = (tail + bytes).right(10);
        });
        total += line.readAll().size();
        QVERIFY(!wrench.isOutputPaused());
        QVERIFY(settle(&wrench, 60000));
        QCOMPARE(total, DSimWrench::floodBytes + 10);
        QCOMPARE(tail, QByteArray("W1BAT,087\r"));
    }
};

QTEST_GUILESS_MAIN(TstSimLine)
#include "tst_sim_line.moc"
