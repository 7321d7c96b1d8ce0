#include <command_bench.h>
#include <d_instruction_router.h>

#include <QtTest>

using Frames = QList<QByteArray>;

const QVariantMap presets{{"presets", QVariantMap{{"3", QVariantMap{{"targetTorque", 1}}},
                                                  {"5", QVariantMap{{"targetTorque", "nan"}}}}}};
// Every driver run answers these three in one turn; the driver settings mirror them.
const QList<QVariantMap> answers{
    {{"cmd_success", false}}, {{"number", 1}}, {{"cmd_success", true}}};
const QString mirrored = "; cmd_success=false; cmd_success=false; cmd_success=true";
// Lines that confirm nothing: longer or shorter answers, another wrench, a NUL, no line end.
const Frames refused{"W1OKAY\r", "W1Parse\r", "W1\r", "W2OK\r", QByteArray("W1OK\0\r", 6), "W1OK"};

// "name key=value ...", bytes percent-encoded in [], "timed " in front when
// the run's answer timer was already running.
static QString describe(const QTimer* timer, const QString& name, const QVariantMap& arguments) {
    QString text = (timer && timer->isActive() ? "timed " : "") + name;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const bool bytes = it->type() == QVariant::ByteArray;
        text += ' ' + it.key() + '=' +
                (bytes ? '[' + it->toByteArray().toPercentEncoding(",") + ']' : it->toString());
    }
    return text;
}

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
                       (screen ? "subscription=true validator=screenLock" : "validator=lock") +
                       "; timed write frame=[" + (screen ? screenFrame : lockFrame) + "%0D]";
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
        const QString sent = "currentProgId=3 uint; timed getPresetData program=3; timed "
                             "listenEventsData validator=program; timed write frame=[";
        row("program: ParseOK after timeout", "setProgram", program, {"expire", "W1ParseOK 3\r"},
            sent + "W1SET,0001000%0D]; cmd_success=false; failed=true; cmd_success=true; "
                   "failed=false");
        row("program: refused lines, then OK", "setProgram", program,
            refused + Frames{"W1?\rW1O", "K\r\n\n"},
            sent + "W1SET,0001000%0D]; cmd_success=true; failed=false");
        row("program: bare OK", "setProgram", {{"program", 3}}, {"OK\r"},
            sent + "SET,0001000%0D]; cmd_success=true; failed=false");
        for (const QString number : {"9", "5"}) { // no such preset; a target that is not a number
            row("program " + number, "setProgram", {{"program", number}}, {},
                "currentProgId=" + number + " uint; timed getPresetData program=" + number +
                    "; cmd_success=false; failed=true",
                false);
        }
        row("init config: results after both", "setInitConfig", {{"serialId", "W1"}}, {},
            "setParallelListening parallelListening=true; write frame=[W1DEL%0D]; doneOk=true; "
            "failed=false",
            false);
        row("parallel listening: no serial ID sent", "setParallelListening",
            {{"serialId", "W1"}, {"parallelListening", true}}, {},
            "setParallelListening parallelListening=true" + mirrored);
        row("parallel listening missing", "setParallelListening", {}, {},
            "setParallelListening parallelListening=false" + mirrored);
        QVariantMap keepAlive{{"serialId", "W1"}, {"frame", QByteArray("\x02KA\x00\x03", 5)}};
        keepAlive.insert(
            {{"responseFrame", "W1NAK"}, {"timeout", 1500}, {"parallelListening", true}});
        row("keep-alive: serial ID on the frame only", "setKeepAliveFonction", keepAlive, {},
            "setKeepAliveFonction frame=[W1%02KA%00%03] parallelListening=true "
            "responseFrame=[W1NAK] timeout=1500" +
                mirrored);
        row("keep-alive: declared timeout and flag", "setKeepAliveFonction",
            {{"serialId", "W1"}, {"frame", "BAT\r"}, {"responseFrame", ""}}, {},
            "setKeepAliveFonction frame=[W1BAT%0D] parallelListening=false responseFrame=[] "
            "timeout=5000" +
                mirrored);
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
                             seen.append(describe(bench.command->findChild<QTimer*>(), name, sent));
                             QCOMPARE(timeout, 2000);
                         });
        QObject::connect(bench.command, &DAbstractCommand::sigResultUpdated, bench.command,
                         [&] { seen.append(bench.updates.last()); });
        QObject::connect(&bench.plugin, &DDataStorage::sigPropertyChanged, bench.command,
                         [&](const QString& name, const QVariant& value) {
                             seen.append(name + '=' + value.toString() + ' ' + value.typeName());
                         });
        // A prototype is refused and sends nothing; a run never started finishes safely.
        const bool timed = events.contains("timed");
        DAbstractCommand* prototype = bench.plugin.commandPrototype(command);
        QVERIFY(!prototype->commandExecute());
        bool unstartedOk = timed || !finishOk; // the opposite of the answer expected below
        prototype->createCommand(arguments)->finishTheCommand(unstartedOk);

        QVERIFY(bench.execute());
        QTimer* timer = bench.command->findChild<QTimer*>();
        QCOMPARE(timer ? timer->interval() : 0, timed ? 3000 : 0);
        QVERIFY(!timer || timer->isSingleShot());
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

    // A run finished before its preset arrives must not write to the wrench.
    void finishBeforeThePresetArrivesWritesNothing() {
        CommandBench bench("setProgram", {{"serialId", "W1"}, {"program", 3}}, presets);
        QVERIFY(bench.execute());
        QVERIFY(!bench.finish() && !bench.timer(3000)->isActive());
        drainEvents();
        drainEvents();
        QVERIFY(bench.driver.received().isEmpty() && bench.updates.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstWrenchControl)
#include "tst_wrench_control.moc"
