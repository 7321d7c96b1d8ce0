#include <command_bench.h>
#include <d_instruction_router.h>

#include <QtTest>

using Frames = QList<QByteArray>;

const QVariantMap presets{{"presets", QVariantMap{{"3", QVariantMap{{"targetTorque", 1}}}}}};
// Every driver run answers these three in one turn; the driver settings mirror them.
const QList<QVariantMap> answers{
    {{"cmd_success", false}}, {{"number", 1}}, {{"cmd_success", true}}};
const QString mirrored = "; cmd_success=false; cmd_success=false; cmd_success=true";
// Lines that confirm nothing: longer or shorter answers, another wrench or
// the serial ID inside, a NUL, no line end.
const Frames refused{
    "W1OKAY\r", "W1Parse\r", "W1\r", "W2OK\r", "xW1OK\r", QByteArray("W1OK\0\r", 6), "W1OK"};

class TstWrenchControl : public QObject {
    Q_OBJECT

private slots:
    // A run, then the lines from the wrench ("expire": its answer timer runs out);
    // every instruction, property change and result in order, and finishing's answer.
    void exchange_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<Frames>("lines");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("finishOk");
        const auto row = [](const QString& tag, const QString& command,
                            const QVariantMap& arguments, const Frames& lines,
                            const QString& events, bool finishOk = true) {
            QTest::newRow(qPrintable(tag)) << command << arguments << lines << events << finishOk;
        };
        for (const QString command : {"setLock", "setScreenLock"}) {
            const bool screen = command == "setScreenLock";
            const auto sent = [&](const char* lockFrame, const char* screenFrame) {
                return QString("timed listenEventsData ") +
                       (screen ? "subscription=bool(true) validator=QString(screenLock)"
                               : "validator=QString(lock)") +
                       "; timed write frame=" + (screen ? screenFrame : lockFrame) + "\\x0d";
            };
            row(command + ": lock, late OK after timeout wins", command,
                {{"serialId", "W1"}, {"lock", true}}, {"expire", "W1?\rW1O", "K\r\n\n"},
                sent("W1LCK", "W1DKS") + "; failed=true; doneOk=false; doneOk=true; failed=false");
            row(command + ": unlock, ParseOK and refused lines", command,
                {{"serialId", "W1"}, {"lock", false}}, Frames{"W1ParseOK 3\r"} + refused,
                sent("W1UCK", "W1EKS"));
            row(command + ": neither given, bare OK", command, {}, {"OK\r"},
                sent("UCK", "EKS") + "; doneOk=true; failed=false");
        }
        const QVariantMap program{{"serialId", "W1"}, {"program", 3}};
        const QString sent = "currentProgId=uint(3); timed getPresetData program=uint(3); timed "
                             "listenEventsData validator=QString(program); timed write frame=";
        row("program: ParseOK after timeout", "setProgram", program, {"expire", "W1ParseOK 3\r"},
            sent + "W1SET,0001000\\x0d; cmd_success=false; failed=true; cmd_success=true; "
                   "failed=false");
        row("program: refused lines, then OK", "setProgram", program,
            refused + Frames{"W1?\rW1O", "K\r\n\n"},
            sent + "W1SET,0001000\\x0d; cmd_success=true; failed=false");
        row("program: bare OK", "setProgram", {{"program", 3}}, {"OK\r"},
            sent + "SET,0001000\\x0d; cmd_success=true; failed=false");
        row("program: no such preset", "setProgram", {{"program", "9"}}, {},
            "currentProgId=uint(9); timed getPresetData program=uint(9); cmd_success=false; "
            "failed=true",
            false);
        row("init config: results after both", "setInitConfig", {{"serialId", "W1"}}, {},
            "setParallelListening parallelListening=bool(true); write frame=W1DEL\\x0d; "
            "doneOk=true; failed=false",
            false);
        row("parallel listening missing, no serial ID sent", "setParallelListening",
            {{"serialId", "W1"}}, {},
            "setParallelListening parallelListening=bool(false)" + mirrored);
        row("keep-alive: serial ID on the frame only", "setKeepAliveFonction",
            {{"serialId", "W1"},
             {"frame", QByteArray("\x02KA\x00\x03", 5)},
             {"responseFrame", "W1NAK"},
             {"timeout", 1500},
             {"parallelListening", true}},
            {},
            "setKeepAliveFonction frame=W1\\x02KA\\x00\\x03 parallelListening=bool(true) "
            "responseFrame=W1NAK timeout=int(1500)" +
                mirrored);
        row("keep-alive: declared timeout and flag", "setKeepAliveFonction",
            {{"serialId", "W1"}, {"frame", "BAT\r"}, {"responseFrame", ""}}, {},
            "setKeepAliveFonction frame=W1BAT\\x0d parallelListening=bool(false) responseFrame= "
            "timeout=int(5000)" +
                mirrored);
        // A serial ID with a control byte, DEL or a comma, or a program that names
        // no preset: nothing is asked or written, the run fails.
        const QVariantMap lock{{"lock", true}, {"frame", "BAT\r"}, {"responseFrame", ""}};
        const auto refusedId = [&](const char* command, const QByteArray& serialId,
                                   const char* events, bool finishOk = false) {
            QVariantMap arguments = lock;
            arguments.insert("serialId", QString::fromUtf8(serialId));
            row(QString(command) + ": serial ID refused", command, arguments, {}, events, finishOk);
        };
        refusedId("checkConnectionWithSerial", "W1\rW1", "failed=true");
        refusedId("setLock", "W1DEL\rW1", "failed=true; doneOk=false");
        refusedId("setScreenLock", "W1\x7f", "failed=true; doneOk=false");
        refusedId("setInitConfig", "W1,", "doneOk=false; failed=true");
        refusedId("setProgram", "\x1fW1", "cmd_success=false; failed=true");
        refusedId("setKeepAliveFonction", "W\t1", "cmd_success=false", true);
        row("program: negative refused", "setProgram", {{"program", -3}}, {},
            "cmd_success=false; failed=true", false);
        row("init config: blank and high bytes in the serial ID", "setInitConfig",
            {{"serialId", "W 1\u00e9~"}}, {},
            "setParallelListening parallelListening=bool(true); write frame=W "
            "1\\xc3\\xa9~DEL\\x0d; "
            "doneOk=true; failed=false",
            false);
    }

    void exchange() {
        QFETCH(QString, command);
        QFETCH(QVariantMap, arguments);
        QFETCH(Frames, lines);
        QFETCH(QString, events);
        QFETCH(bool, finishOk);
        CommandBench bench(command, arguments, presets);
        QStringList seen;
        QObject::connect(&DInstructionRouter::instance(), &DInstructionRouter::sigInstructionAdded,
                         bench.command,
                         [&](quint64, DAbstractPlugin*, const QString& name,
                             const QVariantMap& sent, int timeout) {
                             // "name key=value ...", "timed " in front when the
                             // run's answer timer was already running.
                             const QTimer* timer = bench.command->findChild<QTimer*>();
                             QString text = (timer && timer->isActive() ? "timed " : "") + name;
                             for (auto it = sent.begin(); it != sent.end(); ++it) {
                                 text += ' ' + it.key() + '=' + describeValue(*it);
                             }
                             seen.append(text);
                             QCOMPARE(timeout, 2000);
                         });
        QObject::connect(bench.command, &DAbstractCommand::sigResultUpdated, bench.command,
                         [&] { seen.append(bench.updates.last()); });
        QObject::connect(&bench.plugin, &DDataStorage::sigPropertyChanged, bench.command,
                         [&](const QString& name, const QVariant& value) {
                             seen.append(name + '=' + describeValue(value));
                         });
        // Every prototype is refused and sends nothing; a run never started finishes safely.
        for (const QString& name : bench.plugin.commandNames()) {
            QVERIFY(!bench.plugin.commandPrototype(name)->commandExecute());
        }
        const bool timed = events.contains("timed");
        bool unstartedOk = timed || !finishOk; // the opposite of the answer expected below
        bench.plugin.commandPrototype(command)->createCommand(arguments)->finishTheCommand(
            unstartedOk);

        QVERIFY(bench.execute());
        QTimer* timer = bench.command->findChild<QTimer*>();
        QCOMPARE(timer ? timer->interval() : 0, timed ? 3000 : 0);
        QVERIFY(!timer || (timer->isSingleShot() && timer->timerType() == Qt::PreciseTimer));
        QTRY_VERIFY(!bench.driver.received().isEmpty() || !bench.updates.isEmpty());
        for (const auto& received : bench.driver.received()) {
            for (const QVariantMap& answer : answers) {
                received.run->answer(answer);
            }
        }
        for (const QByteArray& line : lines) {
            line == "expire" ? bench.expire(timer) : bench.send({line});
        }
        drainEvents();
        QCOMPARE(seen.join("; "), events);
        QVERIFY(!timer || timer->isActive() == !events.contains("failed=false"));

        // Finishing stops the timer and releases the listener; identifier 0
        // (nothing registered) names none. Later lines reach nobody.
        QCOMPARE(bench.finish(), finishOk);
        QCOMPARE(unstartedOk, finishOk && !timed);
        QVERIFY((!timer || !timer->isActive()) && bench.driver.standingListeners().isEmpty());
        bench.send({"W1OK\r", "OK\r"});
        QCOMPARE(seen.join("; "), events);
    }

    // Finishing ends the preset request while it is out (no frame is written after
    // it), not once its reply came: a host may have given its identifier to another
    // instruction. A host ends a run for the missing preset 9 on its failure.
    void finishingEndsThePresetRequestOnlyWhileItIsOut() {
        for (const int program : {3, 9}) {
            CommandBench bench("setProgram", {{"serialId", "W1"}, {"program", program}}, presets);
            QSignalSpy ended(&DInstructionRouter::instance(),
                             &DInstructionRouter::sigInstructionEnded);
            int endedByFinish = -1;
            const auto finish = [&] {
                bench.finish();
                endedByFinish = ended.count();
            };
            QObject::connect(bench.command, &DAbstractCommand::sigResultUpdated, bench.command,
                             [&](const QString& key) {
                                 if (key == "failed") {
                                     finish();
                                 }
                             });
            QVERIFY(bench.execute());
            if (program == 3) {
                finish();
            }
            drainEvents();
            drainEvents();
            QCOMPARE(endedByFinish, program == 3 ? 1 : 0);
            QVERIFY(bench.driver.received().isEmpty() && !bench.timer(3000)->isActive());
        }
    }

    // The connection check: its own retry timer, and any answer line.
    void fiveWritesThenFailure() {
        CommandBench bench("checkConnectionWithSerial", {{"serialId", "W1"}});
        QVERIFY(!bench.finish()); // never listened: nothing to stop
        QVERIFY(bench.execute());
        QTimer* retry = bench.timer(3000);
        QVERIFY(retry && retry->isActive() && !retry->isSingleShot() &&
                retry->timerType() == Qt::PreciseTimer);
        QCOMPARE(bench.instructions(),
                 QStringList({"listenEventsData 2000", "write 2000 frame=W1BAT\\x0d"}));
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
             Frames{"w1 BAT\r", "W2 BAT\r", "2W1 BAT\r", "W1 BAT", QByteArray("W\0001\r", 4)}) {
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
    }

    // The record stored as preset "3" (beside "0"), the "program" asked for, and what comes
    // back as "presetNo|targetAngle|torque|torque_str" ("" when nothing is found).
    void lookup_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QVariant>("program");
        QTest::addColumn<QString>("added");
        const auto row = [](const char* tag, const QVariantMap& record, const QVariant& program,
                            const char* added) {
            QTest::newRow(tag) << record << program << QString(added);
        };
        const QVariantMap example{{"angle", 30}, {"targetTorque", 12.5}, {"priority", "angle"}};
        const char* found = "3|30|1250|30\u00B0 (12.5Nm)";
        row("angle first", example, 3, found);
        row("torque first for Angle",
            {{"angle", 30}, {"targetTorque", 12.5}, {"priority", "Angle"}}, 3,
            "3|30|1250|12.5Nm (30\u00B0)");
        row("6 digits", {{"angle", 1234567}, {"targetTorque", 0.1 + 0.2}}, 3,
            "3|1234567|30.000000000000004|0.3Nm (1.23457e+06\u00B0)");
        row("program absent takes the declared 1", example, QVariant(), "");
        row("program beyond 32 bits", example, Q_INT64_C(4294967299), "");
        row("program negative", example, -1, "");
        row("program not a number", example, "x", "");
        row("largest program as a double", example, 4294967295.0, "");
        row("program nan", example, qQNaN(), "");
        row("torque 0: no text", {{"angle", 30}, {"targetTorque", 0}}, 3, "3|30|0");
        row("negative angle", {{"angle", -30}, {"targetTorque", 12.5}}, 3, "3|-30|1250");
        row("stale keys overwritten, old text kept",
            {{"presetNo", "9"}, {"torque", 1}, {"targetAngle", 1}, {"torque_str", "x"}}, 3,
            "3|0|0");
    }

    void lookup() {
        QFETCH(QVariantMap, record);
        QFETCH(QVariant, program);
        QFETCH(QString, added);
        const QVariantMap presets{{"3", record}, {"0", QVariantMap{{"name", "zero"}}}};
        CommandBench bench("getPresetData",
                           program.isValid() ? QVariantMap{{"program", program}} : QVariantMap(),
                           {{"presets", presets}});
        QVERIFY(bench.execute());
        QCOMPARE(bench.updates.size(), 2);
        QCOMPARE(bench.result("cmd_success"), QVariant(!added.isEmpty()));
        // The record comes back whole, with the three keys (and the text) added.
        const QVariantMap data = bench.result("presetData").toMap();
        const QStringList field = added.split('|');
        QVariantMap expected = presets.value(field[0]).toMap();
        if (field.size() > 2) {
            expected.insert({{"presetNo", field[0]}, {"targetAngle", field[1].toDouble()}});
            expected.insert("torque", field[2].toDouble());
        }
        if (field.size() > 3) {
            expected.insert("torque_str", field[3]);
        }
        QCOMPARE(describeValue(data), describeValue(expected)); // with the types
    }
};

QTEST_GUILESS_MAIN(TstWrenchControl)
#include "tst_wrench_control.moc"
