#include <d_cmd_check_connection_with_serial.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QtTest>

#include <memory>

namespace {

// The plug-in with its catalogue, bound to a scripted driver, and one run of
// the connection check.
struct Bench {
    PDeviceStahlwille plugin;
    PScriptedDriver driver;
    QSharedPointer<ICommand> run;
    DCmdCheckConnectionWithSerial* command = nullptr;
    QStringList updates;

    explicit Bench(const QVariantMap& arguments) {
        plugin.setDriver(&driver);
        plugin.initPluginCommands();
        run = plugin.commandPrototype("checkConnectionWithSerial")->createCommand(arguments);
        command = dynamic_cast<DCmdCheckConnectionWithSerial*>(run.data());
        QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                         [this](const QString& key, const QVariant& value) {
                             updates.append(key + '=' + value.toString());
                         });
    }

    QTimer* retryTimer() const { return command->findChild<QTimer*>(); }
    int writes() const { return driver.writtenFrames().size(); }
    QVariant result(const char* key) const { return command->commandResults().value(key); }

    // Lets the retry timer expire now instead of in 3000 ms.
    void expireRetryTimer() const { retryTimer()->start(1); }
};

} // namespace

class TstCheckConnection : public QObject {
    Q_OBJECT

private slots:
    void runIsMadeByThePrototype();
    void executeListensThenWrites();
    void answerBeforeSecondWrite();
    void noAnswerGivesFiveWritesThenFailure();
    void answerLines_data();
    void answerLines();
    void answerAfterExhaustionStillConfirms();
    void finishStopsWritesAndReleasesListener();
    void refusedRunSendsNothing();
};

void TstCheckConnection::runIsMadeByThePrototype() {
    const QVariantMap arguments{{"serialId", "W1"}};
    Bench bench(arguments);
    QCOMPARE(bench.command->parent(), &bench.plugin);
    QCOMPARE(bench.command->commandArguments(), arguments);
    QCOMPARE(bench.command->commandName(), QString("checkConnectionWithSerial"));
    QCOMPARE(bench.command->stopCommandName(), QString("stopCheck"));
    QVERIFY(!bench.command->isPrototype());
}

void TstCheckConnection::executeListensThenWrites() {
    Bench bench({{"serialId", "W1"}});
    QVERIFY(bench.run->commandExecute());

    const auto received = bench.driver.received();
    QCOMPARE(bench.driver.receivedNames(), QStringList({"listenEventsData", "write"}));
    QCOMPARE(received[0].arguments, QVariantMap());
    QCOMPARE(received[0].timeout, 2000);
    QCOMPARE(received[1].arguments, QVariantMap({{"frame", QByteArray("W1BAT\r")}}));
    QCOMPARE(received[1].timeout, 2000);

    QTimer* timer = bench.retryTimer();
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 3000);
    QVERIFY(!timer->isSingleShot());
    QVERIFY(timer->isActive());
    QVERIFY(bench.updates.isEmpty());
}

void TstCheckConnection::answerBeforeSecondWrite() {
    Bench bench({{"serialId", "W1"}});
    bench.run->commandExecute();
    bench.driver.sendFrame("W1 BAT 87%\r");

    QTRY_COMPARE(bench.updates, QStringList({"doneOk=true", "failed=false"}));
    QVERIFY(!bench.retryTimer()->isActive());
    QCOMPARE(bench.writes(), 1);
}

void TstCheckConnection::noAnswerGivesFiveWritesThenFailure() {
    Bench bench({{"serialId", "W1"}});
    bench.run->commandExecute();
    for (int write = 2; write <= DCmdCheckConnectionWithSerial::maxAttempts; ++write) {
        bench.expireRetryTimer();
        QTRY_COMPARE(bench.writes(), write);
        QCOMPARE(bench.retryTimer()->interval(), 3000);
        QVERIFY(bench.retryTimer()->isActive());
    }
    QVERIFY(bench.updates.isEmpty());

    bench.expireRetryTimer();
    QTRY_COMPARE(bench.updates, QStringList({"failed=true"}));
    QVERIFY(!bench.retryTimer()->isActive());
    QCOMPARE(bench.writes(), 5);
    for (const auto& frame : bench.driver.writtenFrames()) {
        QCOMPARE(frame, QByteArray("W1BAT\r"));
    }
}

void TstCheckConnection::answerLines_data() {
    QTest::addColumn<QString>("serialId");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("updates");

    const QStringList confirmed{"doneOk=true", "failed=false"};
    QTest::newRow("prefix only counts") << "W1" << QList<QByteArray>{"W1 anything\r"} << confirmed;
    QTest::newRow("other letter case") << "W1" << QList<QByteArray>{"w1 BAT\r"} << QStringList();
    QTest::newRow("another wrench") << "W1" << QList<QByteArray>{"W2 BAT\r"} << QStringList();
    QTest::newRow("split over two replies")
        << "W1" << QList<QByteArray>{"W", "1 BAT\r"} << confirmed;
    QTest::newRow("CR LF is one line") << "W1" << QList<QByteArray>{"W1 BAT\r\n"} << confirmed;
    QTest::newRow("no line end yet") << "W1" << QList<QByteArray>{"W1 BAT"} << QStringList();
    QTest::newRow("text ends at NUL") << "W1"
                                      << QList<QByteArray>{QByteArray("W\0"
                                                                      "1\r",
                                                                      4)}
                                      << QStringList();
    QTest::newRow("empty serial ID takes any line")
        << "" << QList<QByteArray>{"\r\n", "OK\r"} << confirmed;
    QTest::newRow("two answers in one reply")
        << "W1" << QList<QByteArray>{"W1 a\rW1 b\r"} << confirmed + confirmed;
}

void TstCheckConnection::answerLines() {
    QFETCH(QString, serialId);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QStringList, updates);

    Bench bench({{"serialId", serialId}});
    bench.run->commandExecute();
    QCOMPARE(bench.driver.writtenFrames().first(), (serialId + "BAT\r").toUtf8());
    for (const auto& reply : replies) {
        bench.driver.sendFrame(reply);
        QCoreApplication::processEvents();
    }
    bench.driver.sendReply({{"number", 99}});
    QCoreApplication::processEvents();
    QCOMPARE(bench.updates, updates);
}

void TstCheckConnection::answerAfterExhaustionStillConfirms() {
    Bench bench({{"serialId", "W1"}});
    bench.run->commandExecute();
    for (int write = 2; write <= DCmdCheckConnectionWithSerial::maxAttempts; ++write) {
        bench.expireRetryTimer();
        QTRY_COMPARE(bench.writes(), write);
    }
    bench.expireRetryTimer();
    QTRY_COMPARE(bench.updates, QStringList({"failed=true"}));

    bench.driver.sendFrame("W1 BAT\r");
    QTRY_COMPARE(bench.updates, QStringList({"failed=true", "doneOk=true", "failed=false"}));
    QCOMPARE(bench.writes(), 5);
}

void TstCheckConnection::finishStopsWritesAndReleasesListener() {
    Bench bench({{"serialId", "W1"}});
    bench.run->commandExecute();
    QCOMPARE(bench.driver.standingListeners().size(), 1);

    bool ok = false;
    bench.run->finishTheCommand(ok);
    QVERIFY(ok);
    QVERIFY(!bench.retryTimer()->isActive());
    QVERIFY(bench.driver.standingListeners().isEmpty());

    bench.driver.sendFrame("W1 BAT\r");
    QCoreApplication::processEvents();
    QCOMPARE(bench.writes(), 1);
    QVERIFY(bench.updates.isEmpty());
}

void TstCheckConnection::refusedRunSendsNothing() {
    Bench bench({{"serialId", "W1"}});
    auto* prototype = bench.plugin.commandPrototype("checkConnectionWithSerial");
    QVERIFY(!prototype->commandExecute());
    QVERIFY(!prototype->findChild<QTimer*>());
    QVERIFY(bench.driver.received().isEmpty());

    // Finishing a run that never listened stops nothing.
    bool ok = true;
    bench.run->finishTheCommand(ok);
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(TstCheckConnection)
#include "tst_check_connection.moc"
