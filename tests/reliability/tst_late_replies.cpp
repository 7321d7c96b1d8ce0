#include <command_bench.h>
#include <d_instruction_router.h>

#include <QtTest>

namespace {

const QVariantMap presets{{"presets", QVariantMap{{"3", QVariantMap{{"targetTorque", 1}}}}}};
const QByteArray record = "7,1234,1200,60,40,455,900,50,30,x,100,ok,Track,Click,NM\r";

enum class Late {
    FinishedInFlight,  // the reply is on its way when the host finishes the run
    DestroyedInFlight, // the reply is on its way when the run is dropped
    SplitSameRun,      // half before the timer ran out, half after
    SplitNextRun,      // half before, then the run is finished, half after
};

bool timersStopped(const QObject* command) {
    for (const QTimer* timer : command->findChildren<QTimer*>()) {
        if (timer->isActive()) {
            return false;
        }
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Late)

class TstLateReplies : public QObject {
    Q_OBJECT

private slots:
    // A reply that comes too late for its run: it reaches that run only while
    // the run stands, never a run that has been finished or destroyed, and
    // never the next run of the same command. (A whole line after the timer is
    // in the tests of each command.)
    void lateReply_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<QByteArray>("ready");     // what the run needs before it is answered
        QTest::addColumn<QByteArray>("answer");    // the line that would confirm it
        QTest::addColumn<int>("timerMs");          // the timer that runs out
        QTest::addColumn<QStringList>("expired");  // published when it runs out
        QTest::addColumn<QStringList>("answered"); // published on the answer
        QTest::addColumn<Late>("late");

        struct Command {
            const char* tag;
            QString name;
            QVariantMap arguments;
            QByteArray ready;
            QByteArray answer;
            int timerMs;
            QStringList expired;
            QStringList answered;
        };
        const QVariantMap lock{{"serialId", "W1"}, {"lock", true}};
        const QList<Command> commands{
            {"connection",
             "checkConnectionWithSerial",
             {{"serialId", "W1"}},
             "",
             "W1 BAT,087\r",
             3000,
             {},
             {"doneOk=true", "failed=false"}},
            {"lock",
             "setLock",
             lock,
             "",
             "W1OK\r",
             3000,
             {"failed=true", "doneOk=false"},
             {"doneOk=true", "failed=false"}},
            {"screen lock",
             "setScreenLock",
             lock,
             "",
             "W1OK\r",
             3000,
             {"failed=true", "doneOk=false"},
             {"doneOk=true", "failed=false"}},
            {"program",
             "setProgram",
             {{"serialId", "W1"}, {"program", 3}},
             "",
             "W1ParseOK\r",
             3000,
             {"cmd_success=false", "failed=true"},
             {"cmd_success=true", "failed=false"}},
            {"listen",
             "listenEventsData",
             {{"serialId", "W1"}},
             "W1OK\r",
             record,
             5000,
             {},
             {"eventData="}},
        };
        const QList<QPair<const char*, Late>> lates{
            {"finished in flight", Late::FinishedInFlight},
            {"destroyed in flight", Late::DestroyedInFlight},
            {"split, same run", Late::SplitSameRun},
            {"split, next run", Late::SplitNextRun},
        };
        for (const Command& command : commands) {
            for (const auto& late : lates) {
                QTest::addRow("%s, %s", command.tag, late.first)
                    << command.name << command.arguments << command.ready << command.answer
                    << command.timerMs << command.expired << command.answered << late.second;
            }
        }
    }

    void lateReply() {
        QFETCH(QString, command);
        QFETCH(QVariantMap, arguments);
        QFETCH(QByteArray, ready);
        QFETCH(QByteArray, answer);
        QFETCH(int, timerMs);
        QFETCH(QStringList, expired);
        QFETCH(QStringList, answered);
        QFETCH(Late, late);

        auto bench = std::make_unique<CommandBench>(command, arguments, presets);
        // The driver's own runs end at once, so that only the listeners stand.
        for (const char* instruction : {"write", "closeConnection"}) {
            bench->driver.setAutoAnswer(instruction, {{"cmd_success", true}});
        }
        QPointer<DAbstractCommand> first = bench->command;
        QVERIFY(bench->execute());
        QTRY_COMPARE(bench->driver.standingListeners().size(), 1);
        bench->send({ready});
        bench->updates.clear();
        QTimer* timer = bench->timer(timerMs);
        QVERIFY(timer && timer->isActive());

        const QByteArray head = answer.left(1);
        const QByteArray tail = answer.mid(1);
        QStringList expected;
        switch (late) {
        case Late::FinishedInFlight:
            bench->driver.sendFrame(answer);
            bench->finish();
            break;
        case Late::DestroyedInFlight:
            bench->driver.sendFrame(answer);
            bench->run.reset();
            QVERIFY(!first);
            break;
        case Late::SplitSameRun:
            bench->send({head});
            bench->expire(timer);
            bench->send({tail});
            expected = expired + answered;
            break;
        case Late::SplitNextRun:
            bench->send({head});
            bench->expire(timer);
            bench->finish();
            expected = expired;
            break;
        }
        if (first) {
            QCOMPARE(bench->updates, expected);
            QVERIFY(bench->finish() == (late == Late::SplitSameRun));
            QVERIFY(timersStopped(first));
        }

        // The next run of the same command on the same plug-in.
        QSharedPointer<ICommand> next =
            bench->plugin.commandPrototype(command)->createCommand(arguments);
        auto* nextCommand = dynamic_cast<DAbstractCommand*>(next.data());
        QStringList nextUpdates;
        connect(nextCommand, &DAbstractCommand::sigResultUpdated, nextCommand,
                [&nextUpdates](const QString& key, const QVariant& value) {
                    nextUpdates.append(key + '=' + value.toString());
                });
        QVERIFY(next->commandExecute());
        QTRY_COMPARE(bench->driver.standingListeners().size(), 1);
        if (late == Late::SplitNextRun) {
            bench->send({tail});
        }
        drainEvents();
        QCOMPARE(nextUpdates, QStringList());
        if (first) {
            QCOMPARE(bench->updates, expected);
        }
        bool ok = false;
        next->finishTheCommand(ok);
        QVERIFY(ok && timersStopped(nextCommand));
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstLateReplies)
#include "tst_late_replies.moc"
