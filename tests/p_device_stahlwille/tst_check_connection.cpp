#include <command_bench.h>

#include <QtTest>

using Frames = QList<QByteArray>;

class TstCheckConnection : public QObject {
    Q_OBJECT

private slots:
    void fiveWritesThenFailure() {
        CommandBench bench("checkConnectionWithSerial", {{"serialId", "W1"}});
        QVERIFY(!bench.finish()); // never listened: nothing to stop
        QVERIFY(!bench.plugin.commandPrototype("checkConnectionWithSerial")->commandExecute());
        QVERIFY(bench.execute());
        QTimer* retry = bench.timer(3000);
        QVERIFY(retry && retry->isActive() && !retry->isSingleShot());
        QCOMPARE(bench.instructions(),
                 QStringList({"listenEventsData 2000", "write 2000 frame=W1BAT\r"}));
        for (int write = 2; write <= 5; ++write) {
            bench.expire(retry);
            QCOMPARE(bench.written().join(), QByteArray("W1BAT\r").repeated(write));
            QVERIFY(retry->isActive() && retry->interval() == 3000 && bench.updates.isEmpty());
        }
        bench.expire(retry);
        QCOMPARE(bench.updates, QStringList({"failed=true"}));
        QVERIFY(!retry->isActive());

        // A late answer still confirms the wrench, without another write.
        bench.send({"W1 BAT\r"});
        QCOMPARE(bench.updates, QStringList({"failed=true", "doneOk=true", "failed=false"}));
        QCOMPARE(bench.written().size(), 5);
    }

    // The answers sent, then a reply without frame; after finishing, nothing more.
    void answerLinesThenFinish_data() {
        QTest::addColumn<QString>("serialId");
        QTest::addColumn<Frames>("replies");
        QTest::addColumn<QStringList>("updates");
        const QStringList confirmed{"doneOk=true", "failed=false"};
        QTest::newRow("split over two replies") << "W1" << Frames{"W", "1 BAT\r"} << confirmed;
        QTest::newRow("two answers in one reply")
            << "W1" << Frames{"W1 a\r\nW1 b\r"} << confirmed + confirmed;
        QTest::newRow("empty serial ID, any line") << "" << Frames{"\r\n", "OK\r"} << confirmed;
        for (const QByteArray& other :
             Frames{"w1 BAT\r", "W2 BAT\r", "W1 BAT", QByteArray("W\0001\r", 4)}) {
            QTest::newRow(other.constData()) << "W1" << Frames{other} << QStringList();
        }
    }

    void answerLinesThenFinish() {
        QFETCH(QString, serialId);
        QFETCH(Frames, replies);
        CommandBench bench("checkConnectionWithSerial", {{"serialId", serialId}});
        QVERIFY(bench.execute());
        bench.send(replies);
        bench.reply({{"number", 99}});
        QTEST(bench.updates, "updates");
        QCOMPARE(bench.timer(3000)->isActive(), bench.updates.isEmpty());

        QVERIFY(bench.finish());
        QVERIFY(!bench.timer(3000)->isActive() && bench.driver.standingListeners().isEmpty());
        bench.send({"W1 BAT\r"});
        QTEST(bench.updates, "updates");
        QCOMPARE(bench.written(), Frames{(serialId + "BAT\r").toUtf8()});
    }
};

QTEST_GUILESS_MAIN(TstCheckConnection)
#include "tst_check_connection.moc"
