#include <d_cmd_set_program.h>
#include <d_instruction_router.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QtTest>

namespace {

const QVariantMap presets{
    {"3", QVariantMap{{"angle", 30}, {"targetTorque", 12.5}, {"priority", "torque"}}},
    {"4", QVariantMap{{"angle", 0}, {"targetTorque", 0}}},
    {"5", QVariantMap{{"angle", 30}, {"targetTorque", "nan"}}}};
const QByteArray frameOfThree = "STA,0012500,0012500,0300\r";

// The plug-in with its catalogue and preset table, bound to a scripted driver,
// and one run of the set-program command.
struct Bench {
    PDeviceStahlwille plugin;
    PScriptedDriver driver;
    QSharedPointer<ICommand> run;
    DCmdSetProgram* command = nullptr;
    QStringList updates;

    explicit Bench(const QVariantMap& arguments) {
        plugin.setDriver(&driver);
        plugin.initPluginCommands();
        plugin.setConfiguration({{"presets", presets}});
        run = plugin.commandPrototype("setProgram")->createCommand(arguments);
        command = dynamic_cast<DCmdSetProgram*>(run.data());
        QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                         [this](const QString& key, const QVariant& value) {
                             updates.append(key + '=' + value.toString());
                         });
    }

    QTimer* answerTimer() const { return command->findChild<QTimer*>(); }
    // Executes and lets the preset reply arrive: the frame has been written.
    void executeUntilWritten() {
        QVERIFY(run->commandExecute());
        QTRY_COMPARE(driver.writtenFrames().size(), 1);
    }
};

const QStringList confirmed{"cmd_success=true", "failed=false"};
const QStringList failed{"cmd_success=false", "failed=true"};

} // namespace

class TstSetProgram : public QObject {
    Q_OBJECT

private slots:
    void catalogueOrder();
    void executeAsksForThePresetThenListensAndWrites();
    void answerLines_data();
    void answerLines();
    void timeoutThenLateConfirmation();
    void unusablePresetFailsWithoutWriting_data();
    void unusablePresetFailsWithoutWriting();
    void presetReplyWithoutDataFails();
    void finishReleasesTheListener();
    void finishBeforeThePresetArrivesWritesNothing();
    void refusedRunDoesNothing();
};

void TstSetProgram::catalogueOrder() {
    PDeviceStahlwille plugin;
    plugin.initPluginCommands();
    const QStringList names = plugin.commandNames();
    QVERIFY(names.indexOf("getPresetData") >= 0);
    QVERIFY(names.indexOf("getPresetData") < names.indexOf("setProgram"));
    QVERIFY(names.indexOf("setProgram") < names.indexOf("checkConnectionWithSerial"));
    QCOMPARE(plugin.commandPrototype("setProgram")->stopCommandName(), QString("stopSetProgram"));
}

void TstSetProgram::executeAsksForThePresetThenListensAndWrites() {
    Bench bench({{"serialId", "W1"}, {"program", 3}});
    QSignalSpy property(&bench.plugin, &DDataStorage::sigPropertyChanged);
    qRegisterMetaType<DAbstractPlugin*>();
    QSignalSpy routed(&DInstructionRouter::instance(), &DInstructionRouter::sigInstructionAdded);
    QVERIFY(bench.run->commandExecute());

    QCOMPARE(bench.plugin.getProperty("currentProgId"), QVariant(3u));
    QCOMPARE(bench.plugin.getProperty("currentProgId").type(), QVariant::UInt);
    QCOMPARE(property.size(), 1);
    QCOMPARE(routed.size(), 1);
    QCOMPARE(routed[0][1].value<DAbstractPlugin*>(), &bench.plugin);
    QCOMPARE(routed[0][2].toString(), QString("getPresetData"));
    QCOMPARE(routed[0][3].toMap(), QVariantMap({{"program", 3u}}));
    QCOMPARE(routed[0][4].toInt(), 2000);
    QVERIFY(bench.driver.received().isEmpty());

    QTimer* timer = bench.answerTimer();
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 3000);
    QVERIFY(timer->isSingleShot());
    QVERIFY(timer->isActive());

    QTRY_COMPARE(bench.driver.received().size(), 2);
    const auto received = bench.driver.received();
    QCOMPARE(bench.driver.receivedNames(), QStringList({"listenEventsData", "write"}));
    QCOMPARE(received[0].arguments, QVariantMap({{"validator", "program"}}));
    QCOMPARE(received[0].timeout, 2000);
    QCOMPARE(received[1].arguments, QVariantMap({{"frame", "W1" + frameOfThree}}));
    QCOMPARE(received[1].timeout, 2000);
    QVERIFY(timer->isActive());
    QVERIFY(bench.updates.isEmpty());
}

void TstSetProgram::answerLines_data() {
    QTest::addColumn<QString>("serialId");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("updates");

    using Replies = QList<QByteArray>;
    QTest::newRow("OK") << "W1" << Replies{"W1OK\r"} << confirmed;
    QTest::newRow("OKAY refused") << "W1" << Replies{"W1OKAY\r"} << QStringList();
    QTest::newRow("ParseOK with more text") << "W1" << Replies{"W1ParseOK 3\r"} << confirmed;
    QTest::newRow("Parse alone refused") << "W1" << Replies{"W1Parse\r"} << QStringList();
    QTest::newRow("split over two replies") << "W1" << Replies{"W1", "OK\r"} << confirmed;
    QTest::newRow("CR LF, then a blank line") << "W1" << Replies{"W1OK\r\n\n"} << confirmed;
    QTest::newRow("error answer discarded") << "W1" << Replies{"W1?\r"} << QStringList();
    QTest::newRow("another wrench") << "W1" << Replies{"W2OK\r"} << QStringList();
    QTest::newRow("no line end yet") << "W1" << Replies{"W1OK"} << QStringList();
    QTest::newRow("NUL inside the answer")
        << "W1" << Replies{QByteArray("W1OK\0\r", 6)} << QStringList();
    QTest::newRow("discarded line, then OK") << "W1" << Replies{"W1?\rW1O", "K\r"} << confirmed;
    QTest::newRow("bare OK without serial ID") << "" << Replies{"OK\r"} << confirmed;
}

void TstSetProgram::answerLines() {
    QFETCH(QString, serialId);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QStringList, updates);

    Bench bench({{"serialId", serialId}, {"program", 3}});
    bench.executeUntilWritten();
    QCOMPARE(bench.driver.writtenFrames().first(), serialId.toUtf8() + frameOfThree);
    for (const auto& reply : replies) {
        bench.driver.sendFrame(reply);
        QCoreApplication::processEvents();
    }
    bench.driver.sendReply({{"number", 99}});
    QCoreApplication::processEvents();
    QCOMPARE(bench.updates, updates);
    QCOMPARE(bench.answerTimer()->isActive(), updates.isEmpty());
}

void TstSetProgram::timeoutThenLateConfirmation() {
    Bench bench({{"serialId", "W1"}, {"program", 3}});
    bench.executeUntilWritten();
    bench.answerTimer()->start(1);
    QTRY_COMPARE(bench.updates, failed);

    bench.driver.sendFrame("W1OK\r");
    QTRY_COMPARE(bench.updates, failed + confirmed);
    QCOMPARE(bench.driver.writtenFrames().size(), 1);
}

void TstSetProgram::unusablePresetFailsWithoutWriting_data() {
    QTest::addColumn<quint32>("program");

    QTest::newRow("no such preset") << 9u;
    QTest::newRow("neither target positive") << 4u;
    QTest::newRow("target not a number") << 5u;
}

void TstSetProgram::unusablePresetFailsWithoutWriting() {
    QFETCH(quint32, program);

    Bench bench({{"serialId", "W1"}, {"program", program}});
    QVERIFY(bench.run->commandExecute());
    QTRY_COMPARE(bench.updates, failed);
    QCoreApplication::processEvents();
    QCOMPARE(bench.updates, failed);
    QCOMPARE(bench.plugin.getProperty("currentProgId"), QVariant(program));
    QVERIFY(bench.answerTimer()->isActive());
    QVERIFY(bench.driver.received().isEmpty());

    bool ok = true;
    bench.run->finishTheCommand(ok);
    QVERIFY(!ok);
    QVERIFY(!bench.answerTimer()->isActive());
}

void TstSetProgram::presetReplyWithoutDataFails() {
    Bench bench({{"serialId", "W1"}, {"program", 3}});
    QVERIFY(bench.run->commandExecute());
    QVERIFY(bench.command->cbPresetDataReply(0, {{"cmd_success", true}}));
    QCOMPARE(bench.updates, failed);
    QVERIFY(bench.driver.received().isEmpty());
}

void TstSetProgram::finishReleasesTheListener() {
    Bench bench({{"serialId", "W1"}, {"program", 3}});
    bench.executeUntilWritten();
    QCOMPARE(bench.driver.standingListeners().size(), 1);

    bool ok = false;
    bench.run->finishTheCommand(ok);
    QVERIFY(ok);
    QVERIFY(!bench.answerTimer()->isActive());
    QVERIFY(bench.driver.standingListeners().isEmpty());

    bench.driver.sendFrame("W1OK\r");
    QCoreApplication::processEvents();
    QVERIFY(bench.updates.isEmpty());
}

void TstSetProgram::finishBeforeThePresetArrivesWritesNothing() {
    Bench bench({{"serialId", "W1"}, {"program", 3}});
    QVERIFY(bench.run->commandExecute());
    bool ok = true;
    bench.run->finishTheCommand(ok);
    QVERIFY(!ok);
    QVERIFY(!bench.answerTimer()->isActive());

    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(bench.driver.received().isEmpty());
    QVERIFY(bench.updates.isEmpty());
}

void TstSetProgram::refusedRunDoesNothing() {
    Bench bench({{"serialId", "W1"}, {"program", 3}});
    auto* prototype = bench.plugin.commandPrototype("setProgram");
    QVERIFY(!prototype->commandExecute());
    QVERIFY(!prototype->findChild<QTimer*>());
    QVERIFY(!bench.plugin.getProperty("currentProgId").isValid());
    QCoreApplication::processEvents();
    QVERIFY(bench.driver.received().isEmpty());
}

QTEST_GUILESS_MAIN(TstSetProgram)
#include "tst_set_program.moc"
