#include <d_cmd_driver_listen.h>
#include <d_instruction_router.h>
#include <p_device_stahlwille.h>
#include <p_driver_serial.h>

#include <QtTest>

#include <cstring>
#include <limits>

using Chunks = QList<QByteArray>;

// The wrench's end of the line: keeps what was written, hands out what it is
// given, and can refuse to open or report output still pending.
class TestLine : public QIODevice {
public:
    QByteArray written;
    QByteArray incoming;
    bool refuseOpen = false;
    qint64 pending = 0;
    int opens = 0;

    bool isSequential() const override { return true; }
    qint64 bytesToWrite() const override { return pending; }
    bool open(OpenMode mode) override {
        setErrorString("unplugged");
        return !refuseOpen && ++opens && QIODevice::open(mode);
    }
    void push(const QByteArray& bytes) {
        incoming += bytes;
        emit readyRead();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 size = qMin<qint64>(maxSize, incoming.size());
        std::memcpy(data, incoming.constData(), size_t(size));
        incoming.remove(0, int(size));
        return size;
    }
    qint64 writeData(const char* data, qint64 size) override {
        written.append(data, int(size));
        return size;
    }
};

// The device plug-in bound to the driver, and a caller that notes every reply.
class Bench : public QObject {
public:
    TestLine line;
    PDriverSerial driver;
    PDeviceStahlwille device;
    QHash<quint64, QVariantList> replies;

    Bench() {
        device.setDriver(&driver);
        device.initPluginCommands();
        driver.setLineDevice(&line);
    }
    quint64 send(const QString& instruction, const QVariantMap& arguments = {}) {
        return DInstructionRouter::instance().addInstruction(
            this, &device, "driver", instruction, arguments, 2000,
            fastdelegate::MakeDelegate(this, &Bench::cbReply));
    }
    // The replies to that instruction, in order, once they have arrived.
    QVariantList repliesTo(quint64 id) {
        QCoreApplication::processEvents();
        return replies.value(id);
    }
    bool cbReply(quint64 id, const QVariantMap& reply) {
        replies[id].append(reply);
        return true;
    }
};

static QVariantList numbered(const Chunks& chunks) {
    QVariantList list;
    for (const QByteArray& chunk : chunks) {
        list.append(QVariantMap{{"frame", chunk}, {"number", list.size() + 1}});
    }
    return list;
}

class TstDriverSerial : public QObject {
    Q_OBJECT

private slots:
    // The first listener hears every chunk, also one read just before a close,
    // and stands until a write reopens the line; the second one, started after
    // the first chunk and stopped after the second, hears only that one. Each
    // numbers its own from 1, and a number never overflows.
    void listeners() {
        QCOMPARE(DCmdDriverListen::nextReplyNumber(std::numeric_limits<int>::max()), 1);
        const Chunks chunks{"W1O", "K\r", QByteArray("\0\x1b\xff\r\n", 5), "W1no new saved\r"};
        Bench bench;
        const quint64 first = bench.send("listenEventsData", {{"validator", "lock"}});
        QVERIFY(first != 0 && bench.line.openMode() == QIODevice::ReadWrite);
        bench.line.push(chunks[0]);
        const quint64 second = bench.send("listenEventsData", {{"subscription", true}});
        bench.line.push(chunks[1]);
        QCOMPARE(bench.repliesTo(second), numbered({chunks[1]}));
        QVERIFY(DInstructionRouter::instance().stopTheInstruction(&bench, second));
        bench.line.push(chunks[2]);
        bench.send("closeConnection");
        QVERIFY(!bench.line.isOpen() && DInstructionRouter::instance().isStanding(first));
        bench.send("write", {{"frame", "W1GDS\r"}});
        bench.line.push(chunks[3]);
        QCOMPARE(bench.repliesTo(first), numbered(chunks));
        QCOMPARE(bench.repliesTo(second), numbered({chunks[1]}));
    }

    // Each step is an instruction ("do") with its arguments; every step's
    // "cmd_success", what reached the line, and how often it was opened.
    void instructions_data() {
        QTest::addColumn<QVariantList>("steps");
        QTest::addColumn<bool>("refuseOpen");
        QTest::addColumn<qint64>("pending");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QVariantList>("success");
        QTest::addColumn<int>("opens");
        const QByteArray binary("\0W1\r\n\xff", 6);
        const QVariantMap close{{"do", "closeConnection"}};
        auto write = [](const QVariant& frame) {
            return frame.isNull() ? QVariantMap{{"do", "write"}}
                                  : QVariantMap{{"do", "write"}, {"frame", frame}};
        };
        QTest::newRow("bytes unchanged") << QVariantList{write(binary)} << false << qint64(0)
                                         << binary << QVariantList{true} << 1;
        QTest::newRow("close, then write reopens")
            << QVariantList{write("W1LCK\r"), close, write("W1UCK\r")} << false << qint64(0)
            << QByteArray("W1LCK\rW1UCK\r") << QVariantList{true, true, true} << 2;
        QTest::newRow("no frame, line left closed")
            << QVariantList{write(QVariant()), write(QByteArray(""))} << false << qint64(0)
            << QByteArray() << QVariantList{false, false} << 0;
        QTest::newRow("parallel listening off by default")
            << QVariantList{QVariantMap{{"do", "setParallelListening"}}} << false << qint64(0)
            << QByteArray() << QVariantList{true} << 0;
        QTest::newRow("parallel listening recorded")
            << QVariantList{QVariantMap{{"do", "setParallelListening"},
                                        {"parallelListening", true}}}
            << false << qint64(0) << QByteArray() << QVariantList{true} << 0;
        QTest::newRow("line will not open")
            << QVariantList{write("W1LCK\r"), close} << true << qint64(0) << QByteArray()
            << QVariantList{false, true} << 0;
        QTest::newRow("output backed up")
            << QVariantList{write("W1LCK\r")} << false << qint64(64 * 1024 - 5) << QByteArray()
            << QVariantList{false} << 1;
    }
    void instructions() {
        QFETCH(QVariantList, steps);
        Bench bench;
        QVERIFY(!bench.driver.commandPrototype("write")->commandExecute());
        QFETCH(bool, refuseOpen);
        bench.line.refuseOpen = refuseOpen;
        QFETCH(qint64, pending);
        bench.line.pending = pending;
        QSignalSpy writes(&bench.driver, &PDriverSerial::sigBytesWritten);
        QSignalSpy errors(&bench.driver, &PDriverSerial::sigLineError);
        QVariantList success;
        for (const QVariant& step : steps) {
            QVariantMap arguments = step.toMap();
            const quint64 id = bench.send(arguments.take("do").toString(), arguments);
            success.append(bench.repliesTo(id).value(0).toMap().value("cmd_success"));
        }
        QTEST(success, "success");
        QTEST(bench.line.written, "written");
        QTEST(bench.line.opens, "opens");
        QCOMPARE(bench.driver.parallelListening(),
                 QTest::currentDataTag() == QLatin1String("parallel listening recorded"));
        QByteArray signalled;
        for (const QList<QVariant>& frame : writes) {
            signalled += frame.value(0).toByteArray();
        }
        QCOMPARE(signalled, bench.line.written);
        QCOMPARE(errors.value(0).value(0).toString(),
                 refuseOpen ? QString("cannot open the line device: unplugged") : QString());
    }

    // A keep-alive set-up as the device plug-in sends it: which timer runs,
    // and what an expiry writes.
    void keepAlive_data() {
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<int>("interval");
        const QVariantMap on{{"frame", "W1BAT\r"},
                             {"responseFrame", "?"},
                             {"timeout", 5000},
                             {"parallelListening", true}};
        QTest::newRow("on") << on << 5000;
        QTest::newRow("timeout 0") << QVariantMap{{"frame", "W1BAT\r"}, {"timeout", 0}} << 0;
        QTest::newRow("timeout below 0") << QVariantMap{{"frame", "W1BAT\r"}, {"timeout", -1}} << 0;
        QTest::newRow("no frame") << QVariantMap{{"timeout", 5000}} << 0;
        QTest::newRow("no timeout: off") << QVariantMap{{"frame", "W1BAT\r"}} << 0;
    }
    void keepAlive() {
        QFETCH(QVariantMap, arguments);
        QFETCH(int, interval);
        Bench bench;
        QVERIFY(bench.driver.openLine());
        const quint64 id = bench.send("setKeepAliveFonction", arguments);
        QCOMPARE(bench.repliesTo(id), (QVariantList{QVariantMap{{"cmd_success", true}}}));
        QCOMPARE(bench.driver.keepAliveResponseFrame(),
                 arguments.value("responseFrame").toByteArray());
        QCOMPARE(bench.driver.keepAliveParallelListening(),
                 arguments.value("parallelListening").toBool());
        QVERIFY(!bench.driver.parallelListening());
        auto* timer = bench.driver.findChild<QTimer*>("keepAliveTimer");
        QCOMPARE(timer->isActive(), interval > 0);
        if (interval == 0) {
            return;
        }
        QVERIFY(timer->interval() == interval && !timer->isSingleShot());
        // A read in between makes the line busy: no keep-alive is due yet.
        timer->start(1);
        bench.line.push("W1OK\r");
        QCOMPARE(timer->interval(), interval);
        timer->start(1);
        QTRY_COMPARE(bench.line.written, QByteArray("W1BAT\r"));
        QVERIFY(timer->isActive() && timer->interval() == interval);
        // A closed line stays closed: a keep-alive falling due does not reopen it.
        bench.send("closeConnection");
        QVERIFY(!timer->isActive());
        timer->start(1);
        QTRY_VERIFY(!timer->isActive());
        QVERIFY(!bench.line.isOpen() && bench.line.written == "W1BAT\r");
        QVERIFY(bench.driver.writeToLine("W1GDS\r") && timer->isActive());
    }
};

QTEST_GUILESS_MAIN(TstDriverSerial)
#include "tst_driver_serial.moc"
