#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>

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

    void writeFile(const QString& name, const QString& text) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0);
    }

    // Runs the host in the temporary folder; "{dir}" in an argument is that
    // folder. With "{sim}" as the first argument the simulator runs instead.
    Outcome runHost(QStringList arguments) {
        arguments.replaceInStrings("{dir}", m_dir.path());
        const bool sim = arguments.value(0) == "{sim}";
        QProcess host;
        host.setWorkingDirectory(WRENCH_SOURCE_DIR);
        host.start(sim ? WRENCH_SIM_FILE : WRENCH_HOST_FILE, sim ? arguments.mid(1) : arguments);
        if (!host.waitForFinished(30000)) {
            host.kill(); // a crash: exit code -1
            host.waitForFinished();
        }
        return {host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1,
                QString::fromUtf8(host.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                QString::fromUtf8(host.readAllStandardError())};
    }

    // A part of the text, or, after a leading "^", a regular expression found
    // in it (^ and $ match at each line, \A and \z at the ends).
    static bool holds(const QString& text, const QString& part) {
        if (!part.startsWith('^')) {
            return text.contains(part);
        }
        const QRegularExpression pattern(part.mid(1), QRegularExpression::MultilineOption);
        return pattern.match(text).hasMatch();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Arguments (and the files they name) -> exit status; a part of stdout,
    // of its last line and of stderr; the number of stdout lines (-1: any).
    void program_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("lastLine");
        QTest::addColumn<QString>("errors");
        QTest::addColumn<int>("lineCount");
        const QString config = "examples/config.json";
        const auto row = [](const char* name, const QStringList& arguments, int exitCode,
                            const QString& output, const QString& lastLine, const QString& errors,
                            int lineCount = -1) {
            QTest::newRow(name) << arguments << exitCode << output << lastLine << errors
                                << lineCount;
        };
        // Usage and configuration errors: exit 2, nothing on stdout.
        const auto refused = [&row](const char* name, const QStringList& arguments,
                                    const QString& errors) {
            row(name, arguments, 2, "", "", errors, 0);
        };
        refused("no command", {}, "no command given");
        refused("unknown verb", {"frobnicate"}, "unknown command frobnicate");
        refused("unknown option", {"--frob", "list"}, "unknown option --frob");
        refused("option without value", {"list", "--config"}, "--config needs a value");
        refused("switch with a value", {"--trace=yes", "list"}, "--trace takes no value");
        // "soon" reads as 0, which the reconnect limit would take.
        refused("bad number", {"--reconnect-limit", "soon", "list"},
                "--reconnect-limit needs a whole number");
        refused("bad reconnect limit", {"--reconnect-limit", "-1", "list"},
                "--reconnect-limit needs a whole number from 0");
        refused("unknown command", {"run", "setLok"}, "unknown command \"setLok\"");
        refused("not key=value", {"run", "setLock", "true"}, "\"true\" is not KEY=VALUE");
        refused("bad bool", {"run", "setLock", "lock=yes"},
                "lock: expected bool (true or false), not \"yes\"");
        refused("count without listen", {"--count", "2", "run", "setLock", "lock=true"},
                "--count applies to listen only");
        refused("bad fault", {"--sim-fault", "split,wobble", "run", "setLock", "lock=true"},
                "--sim-fault");
        refused("bad plug-in", {"--plugin", "{dir}/none.so", "list"},
                "cannot load the plug-in {dir}/none.so");
        refused("help for no such command", {"help", "setLok"}, "unknown command \"setLok\"");
        refused("export without a store", {"export", "--csv"}, "export needs --store FILE");
        refused("export option elsewhere", {"--since", "2026-12-07", "list"},
                "--csv, --jsonl and --since apply to export only");
        refused("broker URL", {"--mqtt", "tcp://127.0.0.1", "list"},
                "--mqtt needs mqtt://HOST[:PORT][/PREFIX]");
        refused("TLS file for a plain broker",
                {"--mqtt", "mqtt://127.0.0.1", "--mqtt-cafile", "ca.pem", "list"},
                "--mqtt-cafile, --mqtt-cert and --mqtt-key need an mqtts:// URL");

        // Required parameters (no declared default) given neither as an
        // argument nor in the configuration: refused before anything is sent.
        const QString required = ": required, without a default, and not in the configuration";
        refused("required: both frames", {"run", "setKeepAliveFonction", "timeout=100"},
                "setKeepAliveFonction needs frame (byAr), responseFrame (byAr)" + required);
        row("required: the configuration gives it",
            {"--config", config, "run", "checkConnectionWithSerial"}, 0, "", "\"ok\":true", "", 3);

        // The configuration is checked before anything runs; keys nobody reads
        // are warned about, once each.
        const auto configRow = [&](const char* name, const QString& text, const QString& errors) {
            writeFile(name, text);
            refused(name, {"--config", "{dir}/" + QString(name), "list"}, errors);
        };
        refused("missing config", {"--config", "{dir}/none.json", "list"},
                "cannot read the configuration {dir}/none.json");
        configRow("bad json", "{\n  \"serialId\": \"W1\",\n}\n",
                  "the configuration {dir}/bad json is not valid JSON: object is missing after "
                  "a comma at line 3, column 2");
        configRow("not an object", "[1, 2]",
                  "the configuration {dir}/not an object is not a JSON object");
        configRow("torque with its unit", "{\"presets\": {\"3\": {\"angle\": \"12.5 Nm\"}}}",
                  "^the configuration .*: preset \"3\": \"angle\" must be a number, not "
                  "\"12.5 Nm\"$");
        configRow("program a fraction", "{\"program\": 2.5}",
                  "\"program\" must be a whole number from 0 to 4294967295, not 2.5");
        configRow("presets a list", "{\"presets\": [1]}",
                  "\"presets\" must be a JSON object of presets by number, not a list");
        configRow("preset number 03", "{\"presets\": {\"03\": {}}}",
                  "preset \"03\" is not a preset number");
        configRow("preset number too large", "{\"presets\": {\"4294967296\": {}}}",
                  "preset \"4294967296\" is not a preset number");
        configRow("preset not an object", "{\"presets\": {\"3\": 12.5}}",
                  "preset \"3\" must be a JSON object, not 12.5");
        writeFile("unknown.json", "{\"portName\": \"/dev/ttyS0\", \"portName\": \"/dev/ttyS1\", "
                                  "\"presets\": {\"1\": {\"colour\": 1}, "
                                  "\"2\": {\"colour\": 2, \"name\": \"M6\"}}}");
        row("unknown keys warned once", {"--config", "{dir}/unknown.json", "list"}, 0, "", "",
            "^\\Awrench_host: the configuration .*: \"portName\" is given twice: the last one "
            "counts\nwrench_host: the configuration .*: \"portName\" is no parameter of any "
            "command: nothing reads it\nwrench_host: the configuration .*: preset \"1\": "
            "\"colour\" is no key of a preset: carried through, unused\n\\z",
            9);
        row("the example configuration is clean", {"--config", config, "list"}, 0, "", "",
            "^\\A\\z", 9);

        // What a technician asks for.
        row("help", {"--help"}, 0, "usage: wrench_host [OPTIONS] list", "wrong).", "");
        // The process rows test the host's own dispatcher only if it runs on it.
        row("version", {"--version"}, 0, "wrench_host " WRENCH_VERSION " (Qt ",
            "event dispatcher DEventDispatcher)", "", 1);
        row("sim version", {"{sim}", "--version"}, 0, "wrench_sim " WRENCH_VERSION, "", "", 1);
        row("help for a command", {"help", "setLock"}, 0,
            "  lock (bool: true or false)\n      True to lock, false to unlock; required\n",
            "default false", "");
        row("list: required or the default", {"list"}, 0,
            "^\\{\"description\":\"True to lock, false to unlock\",\"name\":\"lock\","
            "\"required\":true,\"type\":\"bool\"\\}[\\s\\S]*\\{\"default\":5000,\"description\":"
            "\"Keep alive timeout\",\"name\":\"timeout\",\"required\":false,\"type\":\"int\"\\}",
            "\"name\":\"setParallelListening\"", "", 9);
        row("lock", {"run", "setLock", "serialId=W1", "lock=true"}, 0,
            "{\"result\":\"doneOk\",\"value\":true}",
            "{\"command\":\"setLock\",\"ok\":true,\"results\":{\"doneOk\":true,\"failed\":false}}",
            "", 3);
        row("trace", {"--trace", "run", "setLock", "serialId=W1", "lock=false"}, 0, "",
            "\"ok\":true",
            "^^\\(\\s+\\d+\\.\\d{3}\\) > W1UCK\\\\r\n\\(\\s+\\d+\\.\\d{3}\\) < W1OK\\\\r$");

        // Failures say why, from what was seen on the line (the runner's own
        // table has the reasons): exit 1.
        row("wrench refuses",
            {"--sim-fault", "refuse", "run", "setLock", "serialId=W1", "lock=true"}, 1, "",
            "\"ok\":false,\"results\":{\"doneOk\":false,\"failed\":true}",
            "wrench_host: setLock: failed: the wrench answered \"W1?\"\n");
        row("time limit",
            {"--sim-fault", "silent", "--time-limit", "200", "run", "setLock", "serialId=W1",
             "lock=true"},
            1, "", "\"ok\":false,\"results\":{\"doneOk\":false,\"failed\":false}",
            "wrench_host: setLock: timed out after 200 ms: no answer from W1 (check", 1);
        row("listen",
            {"listen", "serialId=W1", "--count", "1", "--sim-tightenings", "1", "--sim-every",
             "100"},
            0,
            "^^\\{\"receivedAt\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:"
            "\\d\\d)\","
            "\"result\":\"eventData\",\"serialId\":\"W1\",\"value\":\\{\"angleTolNeg\"",
            "\"command\":\"listenEventsData\"", "", 2);

        // Scripts: checked as a whole first, run in order, stopped by a failure.
        writeFile("good.script", "# set the wrench up\n\nsetLock lock=true\n"
                                 "setProgram program=3   # angle first\n"
                                 "setLock lock=false\ngetPresetData program=3\n");
        row("script", {"--config", config, "script", "{dir}/good.script"}, 0,
            "\"torque_str\":\"30° (12.5Nm)\"", "\"command\":\"getPresetData\",\"ok\":true", "");
        writeFile("bad.script", "setLock lock=true\n# fine so far\nsetLock lokc=false\n");
        refused("script malformed line", {"--config", config, "script", "{dir}/bad.script"},
                "{dir}/bad.script:3: setLock has no parameter lokc (it takes: serialId, lock)");
        writeFile("stop.script",
                  "setLock lock=true\ngetPresetData program=9\nsetLock lock=false\n");
        row("script stops at a failure", {"--config", config, "script", "{dir}/stop.script"}, 1, "",
            "\"command\":\"getPresetData\",\"ok\":false",
            "{dir}/stop.script:2: getPresetData: failed: preset 9 is not in the presets", 6);
        writeFile("nul.script", QString("setLock lock=true\nsetLock lock=false") + QChar(0) +
                                    "\nsetLock lock=true\n");
        refused("script with a NUL", {"--config", config, "script", "{dir}/nul.script"},
                "{dir}/nul.script: line 2: a NUL byte, which no script line may hold");
        refused("script not there", {"script", "{dir}/none.script"},
                "cannot read the script {dir}/none.script");
    }
    void program() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, lastLine);
        QFETCH(QString, errors);
        QFETCH(int, lineCount);
        errors.replace("{dir}", m_dir.path());

        const Outcome outcome = runHost(arguments);
        const QString all = outcome.lines.join('\n');
        QVERIFY2(
            outcome.exitCode == exitCode,
            qPrintable(QString("exit %1, stderr: %2").arg(outcome.exitCode).arg(outcome.errors)));
        QVERIFY2(holds(all, output) && all.section('\n', -1).contains(lastLine), qPrintable(all));
        QVERIFY2(holds(outcome.errors, errors), qPrintable(outcome.errors));
        QVERIFY2(lineCount < 0 || outcome.lines.size() == lineCount, qPrintable(all));
        const bool text = arguments.contains("--help") || arguments.contains("--version") ||
                          arguments.value(0) == "help";
        for (const QString& line : outcome.lines) {
            QVERIFY2(text || QJsonDocument::fromJson(line.toUtf8()).isObject(), qPrintable(line));
        }
    }

    // Every example that --help shows runs as typed into a shell, from the
    // source folder (those for a real serial port aside).
    void helpExamples() {
        QStringList examples;
        for (const QString& line : runHost({"--help"}).lines) {
            if (line.startsWith("  wrench_host ") && !line.contains("--port")) {
                examples.append(line.mid(int(strlen("  wrench_host "))));
            }
        }
        QVERIFY(examples.size() >= 5);
        // All at once: they mostly wait for the simulated wrench.
        std::deque<QProcess> shells(size_t(examples.size()));
        for (int i = 0; i < examples.size(); ++i) {
            shells[i].setWorkingDirectory(WRENCH_SOURCE_DIR);
            shells[i].start("/bin/sh", {"-c", "\"$0\" " + examples[i], WRENCH_HOST_FILE});
        }
        for (int i = 0; i < examples.size(); ++i) {
            QVERIFY(shells[i].waitForFinished(30000));
            QVERIFY2(shells[i].exitCode() == 0,
                     qPrintable(examples[i] + ": " + shells[i].readAllStandardError()));
        }
    }

    // stdout that takes nothing ends a listen at its first result, exit 1;
    // the store still holds that one. export says so too.
    void stdoutFull() {
        const QString store = m_dir.filePath("full.sqlite");
        const auto runIntoFull = [](const QStringList& arguments) {
            QProcess host;
            host.setWorkingDirectory(WRENCH_SOURCE_DIR);
            host.setStandardOutputFile("/dev/full");
            host.start(WRENCH_HOST_FILE, arguments);
            host.waitForFinished(30000);
            return qMakePair(host.exitCode(), QString::fromUtf8(host.readAllStandardError()));
        };
        const auto listen = runIntoFull({"--store", store, "--sim-tightenings", "3", "--sim-every",
                                         "100", "listen", "serialId=W1", "--count", "3"});
        QCOMPARE(listen.first, 1);
        QVERIFY2(listen.second.contains("listenEventsData: cannot write to stdout: No space left "
                                        "on device; the listen stops, so that the wrench keeps "
                                        "the results after this one"),
                 qPrintable(listen.second));
        QCOMPARE(runHost({"export", "--store", store}).lines.size(), 1);
        const auto exported = runIntoFull({"export", "--store", store});
        QCOMPARE(exported, qMakePair(1, QString("wrench_host: cannot write to stdout: No space "
                                                "left on device\n")));
    }

    // The wrench's pty goes away in the middle of a listen: the host says so,
    // with the time, keeps trying, and gives up after --reconnect-limit, exit
    // 1. While the listen holds the port, a second host finds it busy.
    void lostPort() {
        QProcess sim;
        sim.start(WRENCH_SIM_FILE, {"--pty"});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString path = QString::fromUtf8(sim.readLine()).trimmed();
        QProcess host;
        host.start(WRENCH_HOST_FILE, {"--port", path, "--reconnect-limit", "300", "--trace",
                                      "listen", "serialId=W1"});
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += host.readAllStandardError()).contains("< W1"), 10000);

        const Outcome second = runHost({"--port", path, "run", "setLock", "lock=true"});
        QCOMPARE(second.exitCode, 2);
        QCOMPARE(second.errors, "wrench_host: cannot open serial port " + path +
                                    ": busy (opened by another process)\n");

        sim.kill();
        QVERIFY(sim.waitForFinished(10000));
        QVERIFY(host.waitForFinished(10000));
        QCOMPARE(host.exitCode(), 1);
        errors += host.readAllStandardError();
        const QString port = QRegularExpression::escape(path);
        QVERIFY2(holds(errors, "^^wrench_host: \\(\\s+\\d+\\.\\d{3}\\) serial port " + port +
                                   " (is gone|could not be read); trying again\nwrench_host: "
                                   "listenEventsData: the port " +
                                   port + " was lost \\(away for more than 300 ms\\)\n\\z"),
                 errors.constData());
        QVERIFY(host.readAllStandardOutput().endsWith(
            "{\"command\":\"listenEventsData\",\"ok\":false,\"results\":{\"eventData\":null}}\n"));
    }

    // Ctrl-C or SIGTERM ends a listen cleanly, with its closing line and exit 0;
    // in a script, no step after it runs.
    void terminateEndsTheRun_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("listen") << QStringList{"--trace", "listen", "serialId=W1"};
        QTest::newRow("script") << QStringList{"--trace", "script", m_dir.filePath("two.script")};
    }
    void terminateEndsTheRun() {
        QFETCH(QStringList, arguments);
        writeFile("two.script", "listenEventsData serialId=W1\nsetLock lock=true serialId=W1\n");
        QProcess host;
        host.start(WRENCH_HOST_FILE, arguments);
        // The listen's first frame shows that the signal handlers are in place.
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += host.readAllStandardError()).contains("> W1GDS\\r"),
                                 10000);
        host.terminate();
        QVERIFY(host.waitForFinished(10000));
        QCOMPARE(host.exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.exitCode(), 0);
        QCOMPARE(host.readAllStandardOutput(),
                 QByteArray("{\"command\":\"listenEventsData\",\"ok\":true,\"results\":{"
                            "\"eventData\":null}}\n"));
    }
};

QTEST_GUILESS_MAIN(TstWrenchHost)
#include "tst_wrench_host.moc"
