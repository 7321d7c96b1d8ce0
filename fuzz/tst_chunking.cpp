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
};

QTEST_GUILESS_MAIN(TstChunking)
#include "tst_chunking.moc"
