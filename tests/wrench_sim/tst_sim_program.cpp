#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QtTest>

#include <cerrno>
#include <csignal>

namespace {

bool machineHasPty() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        return false;
    }
    ::close(master);
    return true;
}

// Reads from fd until the bytes hold `lineEnds` CRs or the deadline passes.
QByteArray readLines(int fd, int lineEnds, int timeoutMs = 5000) {
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (bytes.count('\r') < lineEnds && !deadline.hasExpired()) {
        pollfd ready = {fd, POLLIN, 0};
        if (::poll(&ready, 1, int(deadline.remainingTime())) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t size = ::read(fd, buffer, sizeof(buffer));
        if (size > 0) {
            bytes.append(buffer, int(size));
        }
    }
    return bytes;
}

bool writeAll(int fd, const QByteArray& bytes) {
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

} // namespace

class TstSimProgram : public QObject {
    Q_OBJECT

private slots:
    // Arguments that end the program at once: its exit code and a word of
    // what it prints.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--sim-tightenings <N>";
        QTest::newRow("no --pty") << QStringList{"--sim-serial", "W2"} << 2 << "--pty";
        QTest::newRow("unknown option") << QStringList{"--pty", "--loud"} << 2 << "'loud'";
        QTest::newRow("unknown fault") << QStringList{"--pty", "--sim-fault", "split,loud"} << 2
                                       << "--sim-fault: unknown fault 'loud'";
        QTest::newRow("negative count")
            << QStringList{"--pty", "--sim-tightenings", "-1"} << 2 << "--sim-tightenings";
        QTest::newRow("interval not a number")
            << QStringList{"--pty", "--sim-every", "soon"} << 2 << "--sim-every: 'soon'";
        QTest::newRow("seed not a number") << QStringList{"--pty", "--seed", "x"} << 2 << "--seed";
        QTest::newRow("value missing") << QStringList{"--pty", "--seed"} << 2 << "seed";
        QTest::newRow("stray argument") << QStringList{"--pty", "now"} << 2 << "'now'";
    }

    void commandLine() {
        QFETCH(QStringList, arguments);
        QProcess program;
        program.start(WRENCH_SIM_PROGRAM, arguments);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QTEST(program.exitCode(), "exitCode");
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString printed =
            exitCode == 0 ? program.readAllStandardOutput() : program.readAllStandardError();
        QVERIFY2(printed.contains(message), qPrintable(printed));
        if (exitCode != 0 && printed.startsWith("wrench_sim:")) {
            QCOMPARE(printed.count('\n'), 1);
        }
    }

    // The program on a pseudo-terminal: a client opens the slave, talks, closes
    // it and opens it again; a signal ends the program cleanly.
    void servesOnPty_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void servesOnPty() {
        if (!machineHasPty()) {
            QSKIP("this machine cannot make a pseudo-terminal");
        }
        QFETCH(int, signal);
        QProcess program;
        program.start(WRENCH_SIM_PROGRAM, {"--pty", "--sim-serial", "W7", "--seed", "4"});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine() || program.state() != QProcess::Running,
                                 10000);
        const QString path = QString::fromLocal8Bit(program.readLine()).trimmed();
        QVERIFY2(path.startsWith("/dev/"), qPrintable(path + program.readAllStandardError()));

        // No echo, no CR/LF translation: exactly the answer comes back.
        for (const QByteArray& exchange : {QByteArray("BAT"), QByteArray("LCK")}) {
            const int fd = ::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK);
            QVERIFY(fd >= 0);
            QVERIFY(writeAll(fd, "W7" + exchange + "\rW1BAT\rW7XYZ\r"));
            const QByteArray answer = exchange == "BAT" ? "W7BAT,087\r" : "W7OK\r";
            QCOMPARE(readLines(fd, 2), answer + "W7?\r");
            ::close(fd);
        }

        QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSimProgram)
#include "tst_sim_program.moc"
