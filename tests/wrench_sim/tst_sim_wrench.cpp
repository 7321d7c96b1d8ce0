#include <d_listen_line_parser.h>
#include <d_sim_line.h>
#include <d_sim_wrench.h>
#include <d_tightening_record.h>
#include <fcntl.h>
#include <unistd.h>

#include <QtTest>

#include <csignal>

using Frames = QList<QByteArray>;

namespace {

const QByteArray sea = "SEA,0005000,0300";

// Everything a wrench emits, chunk by chunk.
struct Output {
    explicit Output(DSimWrench* wrench) {
        QObject::connect(wrench, &DSimWrench::output,
                         [this](const QByteArray& bytes) { chunks.append(bytes); });
    }
    QByteArray all() const { return chunks.join(); }
    QList<QByteArray> chunks;
};

// Until the wrench has sent all it queued. It sends one piece per turn of the
// event loop, so there is always an event to process while it has some.
bool settled(const DSimWrench& wrench, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (wrench.hasPendingOutput() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
    }
    return !wrench.hasPendingOutput();
}

// The line is the record with one digit of a numeric field (0 to 10) spoilt
// so that it reads as no number.
bool isDamagedCopy(const QByteArray& line, const QByteArray& record) {
    if (line.size() != record.size() || line == record) {
        return false;
    }
    int at = 0;
    while (line.at(at) == record.at(at)) {
        ++at;
    }
    const auto isDigit = [](char byte) {
        return byte >= '0' && byte <= '9';
    };
    return line.mid(at + 1) == record.mid(at + 1) && isDigit(record.at(at)) &&
           record.left(at).count(',') <= 10 && !isDigit(line.at(at)) &&
           !QByteArray(",.+-eE\r\n").contains(line.at(at));
}

// Each damaged copy of record N written as "{N*}".
QByteArray markDamaged(const QByteArray& received, const QList<QByteArray>& records) {
    Frames lines = received.split('\r');
    for (QByteArray& line : lines) {
        for (int i = 0; i < records.size(); ++i) {
            if (isDamagedCopy(line.startsWith('\n') ? line.mid(1) : line, records.at(i))) {
                line = (line.startsWith('\n') ? "\n{" : "{") + QByteArray::number(i + 1) + "*}";
            }
        }
    }
    return lines.join('\r');
}

} // namespace

class TstSimWrench : public QObject {
    Q_OBJECT

private slots:
    // Frames written to a wrench with the faults listed, after some
    // tightenings: the answers (noise taken out; "{1}" and "{2}" stand for the
    // first and second record saved, "{1*}" for a damaged copy of the
    // first), the state they leave and how many records are left.
    void answers_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("tightenings");
        QTest::addColumn<Frames>("writes");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<int>("savedAfter");
        const auto row = [](const char* tag, const Frames& writes, const char* answer,
                            const QByteArray& state = "", int tightenings = 0, int saved = 0) {
            QTest::newRow(tag) << QString() << tightenings << writes << QByteArray(answer) << state
                               << saved;
        };
        // With one record saved.
        const auto fault = [](const char* faults, const char* answer, const char* state = "locked",
                              int saved = 0) {
            const Frames writes{"W1LCK\r", "W1BAT\r", "W1GDS\r", "W1CLR\r", "W1XYZ\r", "W2BAT\r"};
            QTest::newRow(faults) << faults << 1 << writes << QByteArray(answer)
                                  << QByteArray(state) << saved;
        };
        const auto faulty = [](const char* tag, const char* faults, int tightenings,
                               const Frames& writes, const char* answer, int saved) {
            QTest::newRow(tag) << faults << tightenings << writes << QByteArray(answer)
                               << QByteArray() << saved;
        };
        row("lock, screen, program", {"W1LCK\rW1DKS\rW1" + sea + "\r"}, "W1OK\rW1OK\rW1OK\r",
            "locked screen-locked " + sea);
        row("unlock, bad program keeps the last",
            {"W1LCK\rW1DKS\rW1" + sea + "\rW1UCK\rW1EKS\rW1SET,1\r"},
            "W1OK\rW1OK\rW1OK\rW1OK\rW1OK\rW1?\r", sea);
        row("DEL, BAT", {"W1" + sea + "\rW1DEL\rW1BAT\r"}, "W1OK\rW1OK\rW1BAT,087\r");
        row("programs refused: torque too narrow, signs swapped, field too many",
            {"W1SET,012500\rW1SET,0012500,-0000500,+0000500\rW1SEA,0005000,0300,0012500\r"},
            "W1?\rW1?\rW1?\r");
        row("GDS twice, same oldest record", {"W1GDS\rW1GDS\r"}, "{1}\r{1}\r", "", 2, 2);
        row("the listen exchange", {"W1CLR\rW1GDS\rW1CLR\rW1CLR\r", "W1GDS\rW1CLR\rW1CLR\rW1GDS\r"},
            "W1no new saved\r{1}\rW1OK\rW1no new saved\r{2}\rW1OK\rW1no new saved\r"
            "W1no new saved\r",
            "", 2);
        row("unknown mnemonic, field after BAT", {"W1XYZ\rW1BAT,1\r"}, "W1?\rW1?\r");
        row("other serial ID", {"W2LCK\r"}, "");
        row("split over receives, LF ignored", {"\nW", "1\nB", "AT\r\n"}, "W1BAT,087\r");
        row("longest frame", {"W1SET," + QByteArray(250, '0') + "\r"}, "W1OK\r",
            "SET," + QByteArray(250, '0'));
        row("frame too long", {"W1SET," + QByteArray(200, '0'), QByteArray(51, '0') + "\r"},
            "W1?\r");

        fault("refuse", "W1?\rW1?\rW1?\rW1?\rW1?\r", "", 1);
        fault("crlf", "W1OK\r\nW1BAT,087\r\n{1}\r\nW1OK\r\nW1?\r\n");
        fault("repeat", "W1OK\rW1BAT,087\r{1}\r{1}\rW1OK\rW1?\r");
        fault("split", "W1OK\rW1BAT,087\r{1}\rW1OK\rW1?\r");
        fault("split,crlf,garbage,repeat", "W1OK\r\nW1BAT,087\r\n{1}\r\n{1}\r\nW1OK\r\nW1?\r\n");
        fault("silent", "", "", 1);
        fault("foreign", "W1OK\rW1BAT,087\rW2 noise,,,,,,,,,,,,,,\r{1}\rW1OK\rW1?\r");
        fault("crlf,garbage,repeat,foreign,damaged",
              "W1OK\r\nW1BAT,087\r\nW2 noise,,,,,,,,,,,,,,\r\n{1*}\r\n{1}\r\nW1OK\r\nW1?\r\n");
        faulty("sametime: one timestamp", "sametime", 2, {"W1GDS\rW1CLR\rW1GDS\r"},
               "{1}\rW1OK\r{2}\r", 1);
        faulty("delivered: the first CLR clears a record nobody read", "delivered", 1,
               {"W1CLR\rW1CLR\rW1GDS\r"}, "W1OK\rW1no new saved\r{2}\r", 1);
        faulty("damaged: once per record, then whole", "damaged", 2,
               {"W1GDS\rW1GDS\rW1CLR\rW1GDS\rW1GDS\r"}, "{1*}\r{1}\rW1OK\r{2*}\r{2}\r", 1);
        faulty("refuseclear=2", "refuseclear=2", 1, {"W1GDS\rW1CLR\rW1CLR\rW1CLR\r"},
               "{1}\rW1?\rW1?\rW1OK\r", 0);
        faulty("refuseclear: always", "refuseclear", 1, {"W1CLR\rW1GDS\rW1CLR\rW1CLR\r"},
               "W1no new saved\r{1}\rW1?\rW1?\r", 1);
    }

    void answers() {
        QFETCH(QString, faults);
        QFETCH(int, tightenings);
        QFETCH(Frames, writes);
        DSimFaults parsed;
        QVERIFY(DSimFaults::fromList(faults, &parsed, nullptr) && parsed.toList() == faults);
        DSimWrench wrench("W1", parsed, 7);
        for (int i = 0; i < tightenings; ++i) {
            wrench.tighten();
        }
        const QList<QByteArray> records = wrench.savedRecords();
        QVERIFY(settled(wrench));
        Output output(&wrench);
        for (const QByteArray& bytes : writes) {
            wrench.receive(bytes);
        }
        QVERIFY(output.chunks.isEmpty() && settled(wrench)); // never inside receive()

        QByteArray received = output.all();
        if (parsed.garbage) {
            // A line of noise before each answer, like no answer, record or result line.
            const Frames lines = QByteArray(received).replace("\r\n", "\r").split('\r');
            received.clear();
            for (int i = 0; i + 1 < lines.size(); i += 2) {
                const QByteArray& noise = lines.at(i);
                QVERIFY2(!noise.startsWith("W1") && !noise.contains(',') &&
                             DListenLineParser::parse(noise).isEmpty(),
                         noise.constData());
                received += lines.at(i + 1) + (parsed.crlf ? "\r\n" : "\r");
            }
        }
        QFETCH(QByteArray, answer);
        QCOMPARE(markDamaged(received, records),
                 answer.replace("{1}", records.value(0)).replace("{2}", records.value(1)));
        if (parsed.damaged) {
            QCOMPARE(received.count('\0'), 1); // every other damage is a NUL byte
        }
        const QByteArray state = QByteArray(wrench.isLocked() ? "locked " : "") +
                                 (wrench.isScreenLocked() ? "screen-locked " : "") +
                                 wrench.program();
        QTEST(state.trimmed(), "state");
        QTEST(wrench.savedRecordCount(), "savedAfter");
        // Records are held oldest first and cleared from the front.
        const QList<QByteArray> created = wrench.createdRecords();
        QCOMPARE(created.size(), tightenings + int(parsed.delivered));
        QCOMPARE(wrench.savedRecords(), created.mid(created.size() - wrench.savedRecordCount()));
        QSet<QByteArray> timestamps;
        for (const QByteArray& record : created) {
            timestamps.insert(record.split(',').value(DTighteningRecord::keyField));
        }
        QCOMPARE(timestamps.size() == 1, parsed.sametime || created.size() == 1);
        for (const QByteArray& chunk : qAsConst(output.chunks)) {
            QVERIFY(!chunk.isEmpty() && (!parsed.split || chunk.size() <= 7));
        }
        QCOMPARE(output.chunks.size() > writes.size(), parsed.split);
    }

    // Tightenings on a timer, each saved and handed on as a record the
    // plug-in reads.
    void startTightenings() {
        DSimWrench wrench;
        QSignalSpy tightened(&wrench, &DSimWrench::tightened);
        wrench.startTightenings(3, 1500);
        auto* timer = wrench.findChild<QTimer*>("tighteningTimer");
        QVERIFY(timer && timer->isActive() && !timer->isSingleShot());
        QCOMPARE(timer->interval(), 1500);
        QCOMPARE(wrench.tighteningCount(), 0);
        timer->start(1);
        QTRY_COMPARE(wrench.tighteningCount(), 3);
        QVERIFY(!timer->isActive());
        QCOMPARE(tightened.size(), 3);
        const QByteArray record = tightened.last().at(0).toByteArray();
        QCOMPARE(wrench.savedRecords().last(), record);
        QCOMPARE(DTighteningRecord::eventData(record, 1, std::nullopt).size(), 14);
        wrench.startTightenings(5, 1);
        wrench.startTightenings(0, 1);
        QVERIFY(!timer->isActive());
    }

    // Output held back by its reader: nothing is emitted, and what queues up
    // meanwhile is bounded, dropped by whole lines.
    void pausedOutput() {
        DSimWrench wrench;
        Output output(&wrench);
        wrench.setOutputPaused(true);
        wrench.receive(QByteArray("W1BAT\r").repeated(int(DSimWrench::maxPendingBytes / 10) + 9));
        QCoreApplication::processEvents();
        QVERIFY(output.chunks.isEmpty() && wrench.hasPendingOutput());
        wrench.setOutputPaused(false);
        QVERIFY(settled(wrench));
        const QByteArray all = output.all();
        QVERIFY(all.size() <= DSimWrench::maxPendingBytes &&
                all.size() > DSimWrench::maxPendingBytes - 10);
        QCOMPARE(all, QByteArray("W1BAT,087\r").repeated(all.size() / 10));
    }

    // The wrench as a serial line: answers readable on a later turn, nothing
    // written or kept while closed.
    void line() {
        DSimWrench wrench;
        DSimLine line(&wrench);
        QSignalSpy readyRead(&line, &QIODevice::readyRead);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
        QCOMPARE(line.write("W1LCK\r"), qint64(-1));
        wrench.tighten();
        QVERIFY(settled(wrench) && line.open(QIODevice::ReadWrite));
        QCOMPARE(line.bytesAvailable(), 0);
        QCOMPARE(line.write("W1BAT\r"), qint64(6));
        QVERIFY(readyRead.isEmpty() && settled(wrench) && !readyRead.isEmpty());
        QCOMPARE(line.readAll(), QByteArray("W1BAT,087\r"));

        line.write("W1BAT\r");
        QVERIFY(settled(wrench));
        line.close();
        QVERIFY(line.open(QIODevice::ReadWrite));
        QCOMPARE(line.bytesAvailable(), 0);
    }

    // The flood through a line nobody reads: the wrench is held back and goes
    // on once read. It comes once, after the result line queued before it and
    // before the answer, without a line end.
    void floodThroughUnreadLine() {
        DSimFaults faults;
        faults.flood = true;
        DSimWrench wrench("W1", faults);
        DSimLine line(&wrench);
        QVERIFY(line.open(QIODevice::ReadWrite));
        wrench.tighten();
        line.write("W1BAT\r");
        QVERIFY(QTest::qWaitFor([&] { return wrench.isOutputPaused(); }));
        QVERIFY(line.bytesAvailable() >= DSimLine::maxUnreadBytes);
        QVERIFY(line.bytesAvailable() < DSimLine::maxUnreadBytes + DSimWrench::floodChunkBytes);
        const QByteArray head = line.peek(100);
        const QByteArray result = head.left(head.indexOf('\r'));
        QVERIFY2(!DListenLineParser::parse(result).isEmpty(), head.constData());
        QVERIFY(wrench.isOutputPaused()); // a little read does not free it

        qint64 total = 0;
        int lineEnds = 0;
        QByteArray tail;
        const auto read = [&] {
            const QByteArray bytes = line.readAll();
            total += bytes.size();
            lineEnds += bytes.count('\r') + bytes.count('\n');
            tail = (tail + bytes).right(10);
        };
        connect(&line, &QIODevice::readyRead, this, read);
        read();
        QVERIFY(!wrench.isOutputPaused() && settled(wrench, 60000));
        QCOMPARE(total, result.size() + 1 + DSimWrench::floodBytes + 10);
        QCOMPARE(lineEnds, 2);
        QCOMPARE(tail, QByteArray("W1BAT,087\r"));

        line.write("W1LCK\r");
        QVERIFY(settled(wrench));
        QCOMPARE(total, result.size() + 1 + DSimWrench::floodBytes + 15);
    }

    // Arguments that end the program at once: its exit code and a word of
    // what it prints.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--sim-tightenings <N>";
        QTest::newRow("no --pty") << QStringList{"--sim-serial", "W2"} << 2 << "--pty";
        QTest::newRow("unknown fault") << QStringList{"--pty", "--sim-fault", "split,loud"} << 2
                                       << "--sim-fault: unknown fault 'loud'";
        QTest::newRow("refuseclear count below 1")
            << QStringList{"--pty", "--sim-fault", "refuseclear=0"} << 2
            << "--sim-fault: unknown fault 'refuseclear=0'";
    }

    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QProcess program;
        program.start(WRENCH_SIM_PROGRAM, arguments);
        QVERIFY(program.waitForFinished(10000) && program.exitStatus() == QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString printed =
            exitCode == 0 ? program.readAllStandardOutput() : program.readAllStandardError();
        QVERIFY2(printed.contains(message), qPrintable(printed));
    }

    // The program on a pseudo-terminal: a client opens the slave, talks, closes
    // it and opens it again; a signal ends the program cleanly.
    void servesOnPty() {
        const int probe = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (probe < 0) {
            QSKIP("this machine cannot make a pseudo-terminal");
        }
        ::close(probe);
        QProcess program;
        program.start(WRENCH_SIM_PROGRAM, {"--pty", "--sim-serial", "W7", "--seed", "4"});
        QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine() || program.state() == QProcess::NotRunning,
                                 10000);
        const QString path = QString::fromLocal8Bit(program.readLine()).trimmed();
        QVERIFY2(path.startsWith("/dev/"), qPrintable(path + program.readAllStandardError()));

        // No echo, no CR/LF translation: exactly the answers come back.
        const QList<QPair<QByteArray, QByteArray>> exchanges{{"W7BAT\r", "W7BAT,087\r"},
                                                             {"W7LCK\r", "W7OK\r"}};
        for (const auto& exchange : exchanges) {
            const int fd = ::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK);
            QVERIFY(fd >= 0);
            const QByteArray frames = exchange.first + "W1BAT\rW7XYZ\r";
            QCOMPARE(::write(fd, frames.constData(), size_t(frames.size())),
                     ssize_t(frames.size()));
            QByteArray received;
            const auto receive = [&] {
                char buffer[64];
                received.append(buffer, int(qMax(::read(fd, buffer, sizeof(buffer)), ssize_t(0))));
                return received;
            };
            QTRY_COMPARE(receive(), exchange.second + "W7?\r");
            ::close(fd);
        }

        QCOMPARE(::kill(pid_t(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(10000) && program.exitStatus() == QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSimWrench)
#include "tst_sim_wrench.moc"
