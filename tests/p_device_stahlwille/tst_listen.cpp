#include <command_bench.h>
#include <d_cmd_listen.h>
#include <log_capture.h>

#include <QtTest>

static QByteArray record(const QByteArray& timestamp, const QByteArray& more = "") {
    return "7,1234,1200,60,40,455,900,50,30,x," + timestamp + ",ok,Track,Click,NM" + more + '\r';
}

static QVariantMap at(int number, const QByteArray& frame) {
    return {{"frame", frame}, {"number", number}};
}

class TstListen : public QObject {
    Q_OBJECT

private slots:
    // What reaches the listener (a frame is a reply numbered on from 1, a map is
    // the reply itself, "poll" and "silence" let that timer expire); then
    // whether polling runs, the count of "CLR" written (execution's included)
    // and each "eventData" as timestamp@eventCountNo. A new record's "CLR" is
    // written before it is published; a silence while polling is stopped asks
    // for the clear again and waits another 5000 ms.
    void replies_data() {
        QTest::addColumn<QString>("serialId");
        QTest::addColumn<QVariantList>("replies");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const QByteArray& name, const QVariantList& replies,
                            const char* outcome, const char* serialId = "W1") {
            QTest::newRow(name.constData()) << serialId << replies << outcome;
        };

        const QByteArray ok = "W1OK\r", r100 = record("100"), nothing = "W1None Saved\r";
        const QVariantList fetched{ok, r100};
        row("13 commas", {ok, record("100").replace(",NM", "")}, "polling 0");
        row("record split", {ok, r100.left(9), r100.mid(9)}, "stopped 1 100@3");
        row("two OKs, CR LF", fetched + QVariantList{"W1OK\r\nW1OK\r"}, "stopped 3 100@2");
        for (const char* other :
             {"W1OK", "W1 OK\r", "w1OK\r", "OK\r", "W1NONE SAVED\r", "W1??\r"}) {
            row(other, fetched + QVariantList{other}, "stopped 1 100@2");
        }
        row("new record before OK", fetched + QVariantList{record("200")}, "stopped 1 100@2");
        row("repeat while polling: cleared, not published", fetched + QVariantList{nothing, r100},
            "stopped 2 100@2");
        row("same timestamp, another tightening",
            {r100, ok, nothing, record("100").replace("1234", "1280")}, "stopped 3 100@1 100@4");
        row("empty serial ID", {"OK\r", r100, ok, "OK\r", "?\r"}, "polling 2 100@2", "");
        for (const QByteArray end : {"no new saved", "None Saved", "?"}) {
            row(end + " resumes polling", fetched + QVariantList{"W1" + end + '\r'},
                "polling 1 100@2");
        }
        row("nothing saved ends the clearing",
            {ok, "W1no new saved\r", r100, ok, ok, r100, "W1?\r", record("101")},
            "stopped 4 100@3 101@8");
        row("same number twice", {at(1, ok), at(1, r100)}, "polling 0");
        row("last number only", {at(1, ok), at(2, nothing), at(1, r100)}, "stopped 1 100@1");
        row("no frame, # kept", {at(1, ok), QVariantMap{{"number", 2}}, at(2, r100)},
            "polling 0 log:1");
        row("unanswered CLR asked again", fetched + QVariantList{"silence", nothing},
            "polling 2 100@2");
        // Damaged or foreign lines are fetched again, not cleared; the third
        // delivery of the same one is published as it reads.
        const QByteArray garbled = record("100").replace("1234", "12x4");
        row("garbled digit, then the record", {garbled, garbled, r100}, "stopped 1 100@3 log:2");
        row("garbled digit three times", {garbled, garbled, garbled}, "stopped 1 100@3 log:2");
        row("foreign line before the record", {"W2 noise,,,,,,,,,,,,,,,\r" + r100},
            "stopped 1 100@1 log:1");
        row("NUL in a field",
            {record("100").replace("455", QByteArray("4\0"
                                                     "5",
                                                     3)),
             r100},
            "stopped 1 100@2 log:1");
        row("timestamp not a number", {record("1e2"), record(""), r100}, "stopped 1 100@3 log:2");
        row("empty numeric fields allowed", {record("100").replace("1200,60", ",")},
            "stopped 1 100@1");
        // A "?" to the record's "CLR" and the record back: asked three times, then said once.
        const QVariantList refusal{"W1?\r", r100};
        row("clear refused, then taken",
            QVariantList{r100} + refusal + refusal + QVariantList{ok, nothing}, "polling 4 100@1");
        row("clear refused for ever", QVariantList{r100} + refusal + refusal + refusal + refusal,
            "polling 3 100@1 log:1");
    }

    void replies() {
        QFETCH(QString, serialId);
        QFETCH(QVariantList, replies);
        CommandBench bench("listenEventsData", {{"serialId", serialId}});
        QVERIFY(bench.execute());
        bench.plugin.setProperty("currentProgId", 7u, true); // read when publishing
        LogCapture log; // what was refused; a reply without frame: see timersLogAndFinish
        int writtenBefore = 0;
        QObject::connect(bench.command, &DAbstractCommand::sigResultUpdated,
                         [&] { QVERIFY(bench.written().size() > writtenBefore); });
        QPointer<QTimer> poll = bench.timer(1000), silence = bench.timer(5000);
        for (const QVariant& reply : replies) {
            writtenBefore = bench.written().size();
            if (reply == "poll") {
                bench.expire(poll);
                poll->start(DCmdListen::pollIntervalMs);
            } else if (reply == "silence") {
                bench.expire(silence);
                QCOMPARE(silence->isActive(), !poll->isActive());
            } else {
                reply.type() == QVariant::Map ? bench.reply(reply.toMap())
                                              : bench.send({reply.toByteArray()});
            }
        }
        const int clears = bench.written().count(serialId.toUtf8() + "CLR\r");
        // One "GDS" at execution, one each poll.
        QCOMPARE(bench.written().size() - clears, 1 + int(replies.count("poll")));
        QStringList outcome{poll->isActive() ? "polling" : "stopped", QString::number(clears)};
        for (int i = 0; i < bench.values.size(); ++i) {
            const QVariantMap data = bench.values[i].toMap();
            QCOMPARE(describeValue(data["presetNo"]), QString("int(7)"));
            outcome << data["timestamp"].toString() + '@' + data["eventCountNo"].toString();
        }
        if (!log.entries().isEmpty()) {
            outcome << "log:" + QString::number(log.entries().size());
        }
        QTEST(outcome.join(' '), "outcome");
    }

    // A serial ID that would break the frame: nothing is issued, no timer made.
    void refusedSerialId() {
        CommandBench bench("listenEventsData", {{"serialId", "W1DEL\rW1"}});
        LogCapture log;
        QVERIFY(!bench.execute());
        QVERIFY(bench.instructions().isEmpty() && !bench.command->findChild<QTimer*>());
        QCOMPARE(log.entries().size(), 1);
    }

    // "presetNo" is absent under a plug-in that is not the wrench's.
    void presetNo() {
        PScriptedDriver host, line;
        host.setDriver(&line);
        host.setProperty("currentProgId", 12u, false);
        DCmdListen listen({{"serialId", "W1"}}, &host);
        QVERIFY(listen.commandExecute());
        QSignalSpy published(&listen, &DAbstractCommand::sigResultUpdated);
        for (const QByteArray& frame : {QByteArray("W1OK\r"), record("100")}) {
            line.sendFrame(frame);
            drainEvents();
        }
        QCOMPARE(published.size(), 1);
        QVERIFY(published[0][1].toMap().contains("timestamp"));
        QVERIFY(!published[0][1].toMap().contains("presetNo"));
    }

    void timersLogAndFinish() {
        CommandBench bench("listenEventsData", {{"serialId", "W1"}});
        QVERIFY(bench.execute());
        QPointer<QTimer> poll = bench.timer(1000), silence = bench.timer(5000);
        QVERIFY(poll->isActive() && !poll->isSingleShot() && silence->isActive() &&
                silence->isSingleShot());
        bench.expire(poll);
        poll->start(DCmdListen::pollIntervalMs);
        bench.expire(silence);
        bench.reply(at(0, "W1OK\r")); // not a new reply
        QVERIFY(poll->isActive() && !silence->isActive());

        LogCapture log;
        bench.reply({{"number", 4}, {"cmd_success", true}});
        QVERIFY(silence->isActive() && silence->interval() == 5000 && log.entries().size() == 1);
        bench.send({"W1OK\r"}); // a reply with a frame logs nothing
        QCOMPARE(log.entries().size(), 1);
        QCOMPARE(missingFrameLineMismatch(log.entries()[0], bench.command,
                                          "plugins/p_device_stahlwille/source/d_cmd_listen.cpp",
                                          "ERROR: replyData contains no frame for instructionId =",
                                          bench.driver.received()[0].id),
                 QString());
        // It reads before it clears: no "CLR" until a record was published.
        const QStringList instructions{"listenEventsData 2000", "write 2000 frame=W1GDS\\x0d",
                                       "write 2000 frame=W1GDS\\x0d", "closeConnection 2000"};
        QCOMPARE(bench.instructions(), instructions);
        QVERIFY(bench.finish());
        QVERIFY(!silence && poll && !poll->isActive() &&
                bench.driver.standingListeners().isEmpty());
        bench.send({record("100")});
        QCOMPARE(bench.instructions(), instructions);
        QVERIFY(bench.updates.isEmpty() && !bench.finish());
    }
};

QTEST_GUILESS_MAIN(TstListen)
#include "tst_listen.moc"
