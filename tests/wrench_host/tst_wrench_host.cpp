#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// wrench_host as a technician runs it: arguments in, exit status, JSON lines
// on stdout and messages on stderr out, against the simulated wrench.
class TstWrenchHost : public QObject {
    Q_OBJECT

private:
    struct Outcome {
        int exitCode = -1;
        QStringList lines; // stdout
        QString errors;    // stderr
    };

    QTemporaryDir m_dir;

    // Writes each file (name -> content) into the temporary folder and runs
    // the host there; "{dir}" in an argument is that folder.
    Outcome runHost(QStringList arguments, const QVariantMap& files = {}) {
        for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
            QFile file(m_dir.filePath(it.key()));
            if (!file.open(QIODevice::WriteOnly)) {
                qFatal("cannot write %s", qPrintable(file.fileName()));
            }
            file.write(it.value().toString().toUtf8());
        }
        for (QString& argument : arguments) {
            argument.replace("{dir}", m_dir.path());
        }
        QProcess host;
        host.setWorkingDirectory(WRENCH_SOURCE_DIR);
        host.start(WRENCH_HOST_FILE, arguments);
        Outcome outcome;
        if (!host.waitForFinished(30000)) {
            host.kill();
            host.waitForFinished();
            return outcome;
        }
        outcome.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
        outcome.lines = QString::fromUtf8(host.readAllStandardOutput()).split('\n');
        if (outcome.lines.last().isEmpty()) {
            outcome.lines.removeLast();
        }
        outcome.errors = QString::fromUtf8(host.readAllStandardError());
        return outcome;
    }

    static void verifyJsonLines(const QStringList& lines) {
        for (const QString& line : lines) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
            QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(),
                     qPrintable("not a JSON object: " + line));
        }
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Arguments (and files) -> exit status; a part of stdout, of its last
    // line and of stderr; the number of stdout lines (-1: any).
    void program_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QVariantMap>("files");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("lastLine");
        QTest::addColumn<QString>("errors");
        QTest::addColumn<int>("lineCount");
        const QString config = "examples/config.json";
        const auto row = [](const char* name, const QStringList& arguments, int exitCode,
                            const QString& output, const QString& lastLine, const QString& errors,
                            int lineCount = -1, const QVariantMap& files = {}) {
            QTest::newRow(name) << arguments << files << exitCode << output << lastLine << errors
                                << lineCount;
        };

        // Usage and configuration errors: exit 2, nothing on stdout.
        row("no command", {}, 2, "", "", "no command given", 0);
        row("unknown verb", {"frobnicate"}, 2, "", "", "unknown command frobnicate", 0);
        row("unknown option", {"--frob", "list"}, 2, "", "", "unknown option --frob", 0);
        row("option without value", {"list", "--config"}, 2, "", "", "--config needs a value", 0);
        row("bad number", {"--time-limit", "soon", "list"}, 2, "", "",
            "--time-limit needs a whole number", 0);
        row("unknown command", {"run", "setLok"}, 2, "", "", "unknown command \"setLok\"", 0);
        row("unknown key", {"run", "setLock", "lokc=true"}, 2, "", "",
            "setLock has no parameter lokc (it takes: serialId, lock)", 0);
        row("not key=value", {"run", "setLock", "true"}, 2, "", "", "\"true\" is not KEY=VALUE", 0);
        row("bad bool", {"run", "setLock", "lock=yes"}, 2, "", "",
            "lock: expected bool (true or false), not \"yes\"", 0);
        row("uint out of range", {"run", "setProgram", "program=-3"}, 2, "", "",
            "program: expected uint", 0);
        row("count without listen", {"--count", "2", "run", "setLock", "lock=true"}, 2, "", "",
            "--count applies to listen only", 0);
        row("missing config", {"--config", "{dir}/none.json", "list"}, 2, "", "",
            "cannot read the configuration {dir}/none.json", 0);
        row("bad json", {"--config", "{dir}/bad.json", "list"}, 2, "", "",
            "the configuration {dir}/bad.json is not valid JSON", 0,
            {{"bad.json", "{\"serialId\": \"W1\",}"}});
        row("config not an object", {"--config", "{dir}/list.json", "list"}, 2, "", "",
            "is not a JSON object", 0, {{"list.json", "[1, 2]"}});
        row("bad fault", {"--sim-fault", "split,wobble", "run", "setLock", "lock=true"}, 2, "", "",
            "--sim-fault", 0);
        row("bad plug-in", {"--plugin", "{dir}/none.so", "list"}, 2, "", "",
            "cannot load the plug-in {dir}/none.so", 0);
        row("port that is not there", {"--port", "{dir}/ttyNone", "run", "setLock", "lock=true"}, 2,
            "", "", "cannot open {dir}/ttyNone", 0);

        // What a technician asks for.
        row("help", {"--help"}, 0, "usage: wrench_host [OPTIONS] list", "configuration error", "");
        row("list", {"list"}, 0, "\"name\":\"setLock\"", "\"name\":\"setParallelListening\"", "",
            9);
        row("lock", {"run", "setLock", "serialId=W1", "lock=true"}, 0,
            "{\"result\":\"doneOk\",\"value\":true}",
            "{\"command\":\"setLock\",\"ok\":true,\"results\":{\"doneOk\":true,\"failed\":false}}",
            "", 3);
        row("preset from the config", {"run", "getPresetData", "program=3", "--config", config}, 0,
            "\"torque_str\":\"30° (12.5Nm)\"", "\"ok\":true", "", 3);
        row("preset not in the config", {"--config", config, "run", "getPresetData", "program=9"},
            1, "{\"result\":\"cmd_success\",\"value\":false}", "\"ok\":false", "", 3);
        row("serial ID from the config", {"--config", config, "run", "setScreenLock", "lock=true"},
            0, "", "\"ok\":true", "");
        row("keep-alive bytes", {"run", "setKeepAliveFonction", "frame=\\x05PNG\\r", "timeout=500"},
            0, "{\"result\":\"cmd_success\",\"value\":true}", "\"ok\":true", "", 2);
        row("trace", {"--trace", "run", "setLock", "serialId=W1", "lock=false"}, 0, "",
            "\"ok\":true", "> W1UCK\\r\n< W1OK\\r\n");
        row("wrench refuses",
            {"--sim-fault", "refuse", "run", "setLock", "serialId=W1", "lock=true"}, 1, "",
            "\"ok\":false,\"results\":{\"doneOk\":false,\"failed\":true}",
            "wrench_host: setLock: failed\n");
        row("time limit",
            {"--sim-fault", "silent", "--time-limit", "200", "run", "setLock", "lock=true"}, 1, "",
            "{\"command\":\"setLock\",\"ok\":false,\"results\":{}}",
            "wrench_host: setLock: timed out after 200 ms\n", 1);
        row("listen",
            {"listen", "serialId=W1", "--count", "2", "--sim-tightenings", "2", "--sim-every",
             "200"},
            0, "{\"result\":\"eventData\",\"value\":{", "\"command\":\"listenEventsData\"", "", 3);

        // Scripts: checked as a whole first, run in order, stopped by a failure.
        row("script", {"--config", config, "script", "{dir}/good.script"}, 0,
            "\"command\":\"setProgram\",\"ok\":true", "\"command\":\"getPresetData\"", "", -1,
            {{"good.script", "# set the wrench up\n\nsetLock lock=true\n"
                             "setProgram program=3   # angle first\n"
                             "setLock lock=false\n"
                             "getPresetData program=3\n"}});
        row("script malformed line", {"--config", config, "script", "{dir}/bad.script"}, 2, "", "",
            "{dir}/bad.script:3: setLock has no parameter lokc", 0,
            {{"bad.script", "setLock lock=true\n# fine so far\nsetLock lokc=false\n"}});
        row("script stops at a failure", {"--config", config, "script", "{dir}/stop.script"}, 1, "",
            "\"command\":\"getPresetData\",\"ok\":false",
            "{dir}/stop.script:2: getPresetData: failed", 6,
            {{"stop.script", "setLock lock=true\ngetPresetData program=9\nsetLock lock=false\n"}});
        row("script with list", {"script", "{dir}/list.script"}, 0, "\"name\":\"getPresetData\"",
            "", "", 9, {{"list.script", "list\n"}});
        row("script not there", {"script", "{dir}/none.script"}, 2, "", "",
            "cannot read the script {dir}/none.script", 0);
    }
    void program() {
        QFETCH(QStringList, arguments);
        QFETCH(QVariantMap, files);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, lastLine);
        QFETCH(QString, errors);
        QFETCH(int, lineCount);
        output.replace("{dir}", m_dir.path());
        errors.replace("{dir}", m_dir.path());

        const Outcome outcome = runHost(arguments, files);
        const QString all = outcome.lines.join('\n');
        QVERIFY2(
            outcome.exitCode == exitCode,
            qPrintable(QString("exit %1, stderr: %2").arg(outcome.exitCode).arg(outcome.errors)));
        QVERIFY2(all.contains(output), qPrintable(all));
        if (!lastLine.isEmpty()) {
            QVERIFY(!outcome.lines.isEmpty());
            QVERIFY2(outcome.lines.last().contains(lastLine), qPrintable(outcome.lines.last()));
        }
        QVERIFY2(outcome.errors.contains(errors), qPrintable(outcome.errors));
        if (lineCount >= 0) {
            QVERIFY2(outcome.lines.size() == lineCount, qPrintable(all));
        }
        if (!arguments.contains("--help")) {
            verifyJsonLines(outcome.lines);
        }
    }

    // Ctrl-C or SIGTERM ends a listen cleanly: the closing line, exit 0.
    void listenEndsOnTerminate() {
        QProcess host;
        host.start(WRENCH_HOST_FILE, {"--trace", "listen", "serialId=W1"});
        // The listen's first frame shows that the signal handlers are in place.
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += host.readAllStandardError()).contains("> W1CLR\\r"),
                                 10000);
        host.terminate();
        QVERIFY(host.waitForFinished(10000));
        QCOMPARE(host.exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.exitCode(), 0);
        const QByteArray output = host.readAllStandardOutput();
        QVERIFY2(output.endsWith("{\"command\":\"listenEventsData\",\"ok\":true,\"results\":{}}\n"),
                 output.constData());
    }
};

QTEST_GUILESS_MAIN(TstWrenchHost)
#include "tst_wrench_host.moc"
