#include "d_chunked_run.h"

#include <QDir>
#include <QtTest>

namespace {

// The reply fuzz targets and the command each one feeds.
const QList<QPair<QString, QString>> targets{
    {"check_connection", "checkConnectionWithSerial"},
    {"set_lock", "setLock"},
    {"set_screen_lock", "setScreenLock"},
    {"set_program", "setProgram"},
    {"listen", "listenEventsData"},
};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList seedFiles(const QString& target) {
    const QDir directory(QStringLiteral(WRENCH_FUZZ_CORPUS "/") + target);
    QStringList files;
    for (const QString& name : directory.entryList(QDir::Files, QDir::Name)) {
        files.append(directory.filePath(name));
    }
    return files;
}

// "eventCountNo" is the number of the reply that completed the record's
// line: it follows the chunking by definition.
QString published(const QString& command, const QList<DChunkedRun::Reply>& replies) {
    const DChunkedRun::Published run = DChunkedRun::run(command, replies);
    return run.leftStanding ? QStringLiteral("(instruction left standing)")
                            : DChunkedRun::describe(run, {"eventCountNo"});
}

} // namespace

class TstChunking : public QObject {
    Q_OBJECT

private slots:
    // What a command publishes and writes does not depend on how the driver
    // cuts the wrench's bytes into replies.
    void sameWhateverTheChunks_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes");
        for (const auto& target : targets) {
            const QStringList files = seedFiles(target.first);
            QVERIFY2(!files.isEmpty(), qPrintable("no seeds for " + target.first));
            for (const QString& file : files) {
                const QString row = target.first + '/' + QFileInfo(file).fileName();
                QTest::newRow(qPrintable(row))
                    << target.second << DChunkedRun::payloadOf(readFile(file));
            }
        }
    }

    void sameWhateverTheChunks() {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        const QString whole = published(command, DChunkedRun::chunked(bytes, 0));
        for (const int size : {1, 2, 7, 64}) {
            QCOMPARE(published(command, DChunkedRun::chunked(bytes, size)), whole);
        }
    }

    // The property would hold for seeds that publish nothing: each command
    // must have seeds that make it publish.
    void everyCommandHasSeedsThatPublish() {
        for (const auto& target : targets) {
            int publishing = 0;
            for (const QString& file : seedFiles(target.first)) {
                const QByteArray bytes = DChunkedRun::payloadOf(readFile(file));
                publishing += !DChunkedRun::run(target.second, DChunkedRun::chunked(bytes, 0))
                                   .updates.isEmpty();
            }
            QVERIFY2(publishing > 0, qPrintable(target.first));
        }
    }

    // The fuzz input's plan: sizes from the low bits, used round and round;
    // bit 6 sends a reply without frame first, bit 7 repeats the number.
    void planCutsThePayload() {
        const QByteArray input = QByteArray("\x02\x01\xc2", 3) + "abcdefgh";
        const QList<DChunkedRun::Reply> replies = DChunkedRun::repliesFromInput(input);
        QCOMPARE(DChunkedRun::payloadOf(input), QByteArray("abcdefgh"));
        QStringList seen;
        for (const DChunkedRun::Reply& reply : replies) {
            seen.append(reply.bytes + (reply.withoutFrame ? "-" : "") +
                        (reply.repeatsNumber ? "=" : ""));
        }
        QCOMPARE(seen, QStringList({"ab", "cde-=", "fg", "h-="}));
        QCOMPARE(DChunkedRun::repliesFromInput("0W1OK\r").size(), 1);
        QCOMPARE(DChunkedRun::repliesFromInput("0W1OK\r").first().bytes, QByteArray("W1OK\r"));
    }

    // A repeated number is dropped by the listen command only; the others
    // read every reply.
    void repeatedNumberIsDroppedByTheListenCommand() {
        const QByteArray record = "7,1234,1200,60,40,455,900,50,30,x,100,ok,Track,Click,NM\r";
        QList<DChunkedRun::Reply> replies{{"W1OK\r"}, {record, false, true}};
        QVERIFY(DChunkedRun::run("listenEventsData", replies).updates.isEmpty());
        replies.last().repeatsNumber = false;
        QCOMPARE(DChunkedRun::run("listenEventsData", replies).updates.size(), 1);
        const QList<DChunkedRun::Reply> lock{{"W1"}, {"OK\r", false, true}};
        QCOMPARE(DChunkedRun::run("setLock", lock).updates.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TstChunking)
#include "tst_chunking.moc"
