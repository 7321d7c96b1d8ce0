#include <d_result_store.h>
#include <d_tightening_record.h>
#include <sim_bench.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// The entries of "eventData" that come from the wrench's line.
QJsonObject wrenchFields(QVariantMap eventData) {
    eventData.remove("eventCountNo");
    eventData.remove("presetNo");
    return QJsonObject::fromVariantMap(eventData);
}

// One wrench on a pty and the host that listens to it, killed now and then.
struct Station {
    QString dir, ledger, store, pty;
    QProcess sim;
    std::unique_ptr<QProcess> host;
    int kills = 0;

    void startHost() {
        host = std::make_unique<QProcess>();
        host->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host->setStandardOutputFile(QProcess::nullDevice());
        host->start(WRENCH_HOST_FILE, {"--port", pty, "--store", store, "--quiet",
                                       "--reconnect-limit", "0", "listen", "serialId=W1"});
    }
    void kill() {
        ::kill(pid_t(host->processId()), SIGKILL);
        host->waitForFinished();
        ++kills;
    }
    QStringList ledgerLines(const char* kind) const {
        QFile file(ledger);
        QStringList lines;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.startsWith(QByteArray(kind) + ' ')) {
                    lines.append(QString::fromUtf8(line.mid(int(qstrlen(kind)) + 1)));
                }
            }
        }
        return lines;
    }
    QList<QJsonObject> storedRows() const {
        DResultStore reader;
        QString error;
        QList<QJsonObject> rows;
        if (reader.openForReading(store, &error)) {
            reader.forEach(
                {},
                [&](const DResultStore::Row& row) {
                    rows.append(wrenchFields(
                        QJsonDocument::fromJson(row.eventData).object().toVariantMap()));
                },
                &error);
        }
        return rows;
    }
};

// Each wrench gets its own mix of the line's and the wrench's faults. A clear
// refused a few times only: a wrench that never lets go holds everything.
QString randomFaults(QRandomGenerator& random) {
    QStringList faults{"split"};
    for (const char* fault :
         {"crlf", "garbage", "repeat", "sametime", "delivered", "foreign", "damaged"}) {
        if (random.bounded(2) == 1) {
            faults.append(fault);
        }
    }
    if (random.bounded(2) == 1) {
        faults.append(QString("refuseclear=%1").arg(random.bounded(1, 4)));
    }
    return faults.join(',');
}

} // namespace

class TstKillSoak : public QObject {
    Q_OBJECT

private slots:
    // Wrenches with every fault at random, each listened to by a host that is
    // killed (SIGKILL) at random and started again. At the end every
    // tightening a wrench made is kept in its store once, or is still held by
    // the wrench, and no row holds values the wrench did not send.
    void everyTighteningKeptOrHeld() {
        const int stations = countFromEnvironment("WRENCH_KILL_SOAK_STATIONS", 2);
        const int count = countFromEnvironment("WRENCH_KILL_SOAK_TIGHTENINGS", 12);
        const quint32 seed = quint32(countFromEnvironment("WRENCH_KILL_SOAK_SEED", 1));
        const int every = countFromEnvironment("WRENCH_KILL_SOAK_EVERY", 1000);
        QRandomGenerator random(seed);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());

        std::vector<std::unique_ptr<Station>> all;
        for (int i = 0; i < stations; ++i) {
            auto station = std::make_unique<Station>();
            station->ledger = dir.filePath(QString("ledger%1").arg(i));
            station->store = dir.filePath(QString("store%1.db").arg(i));
            const QString faults = randomFaults(random);
            qInfo("wrench %d: %s", i, qPrintable(faults));
            station->sim.start(WRENCH_SIM_FILE,
                               {"--pty", "--sim-serial", "W1", "--sim-tightenings",
                                QString::number(count), "--sim-every", QString::number(every),
                                "--seed", QString::number(seed + i), "--sim-fault", faults,
                                "--ledger", station->ledger});
            QVERIFY(station->sim.waitForReadyRead(10000));
            station->pty = QString::fromUtf8(station->sim.readLine()).trimmed();
            station->startHost();
            all.push_back(std::move(station));
        }

        // Kill each host at random while its wrench still makes tightenings.
        const auto made = [&](const Station& station) {
            return station.ledgerLines("made").size() >= count;
        };
        QDeadlineTimer deadline(30000 + qint64(count) * (every + 2000));
        bool making = true;
        while (making && !deadline.hasExpired()) {
            QTest::qWait(200 + int(random.bounded(2500)));
            making = false;
            for (auto& station : all) {
                if (!made(*station)) {
                    making = true;
                    station->kill();
                    station->startHost();
                }
            }
        }
        QVERIFY2(!making, "the wrenches did not make their tightenings in time");

        // The last hosts run until their stores stop growing.
        int stored = -1;
        for (int quiet = 0; quiet < 5 && !deadline.hasExpired(); QTest::qWait(1000)) {
            int now = 0;
            for (auto& station : all) {
                now += station->storedRows().size();
            }
            quiet = now == stored ? quiet + 1 : 0;
            stored = now;
        }
        int created = 0, kept = 0, held = 0, kills = 0;
        for (auto& station : all) {
            station->host->terminate();
            QVERIFY(station->host->waitForFinished(10000));
            station->sim.terminate();
            QVERIFY(station->sim.waitForFinished(10000));

            // Records that look the same (equal timestamps and values) stand
            // in for each other: each made one takes one row, or one record
            // still held.
            QList<QJsonObject> rows = station->storedRows();
            QList<QJsonObject> heldRecords;
            for (const QString& line : station->ledgerLines("held")) {
                heldRecords.append(
                    wrenchFields(DTighteningRecord::eventData(line.toUtf8(), 0, std::nullopt)));
            }
            QList<QJsonObject> made;
            for (const QString& line : station->ledgerLines("created")) {
                const QJsonObject fields =
                    wrenchFields(DTighteningRecord::eventData(line.toUtf8(), 0, std::nullopt));
                made.append(fields);
                const bool keptOnce = rows.removeOne(fields);
                QVERIFY2(keptOnce || heldRecords.removeOne(fields), qPrintable("lost: " + line));
                ++created;
                kept += keptOnce ? 1 : 0;
                held += keptOnce ? 0 : 1;
            }
            // A host killed between its commit and the wrench's clear reads
            // the record again: the store keeps it once.
            for (const QJsonObject& row : rows) {
                QVERIFY2(!made.contains(row), "a tightening kept twice");
            }
            QVERIFY2(rows.isEmpty(), "a row with values no tightening had");
            kills += station->kills;
        }
        qInfo("kill soak: %d tightenings, %d kept once, %d still held, %d kills (seed %u)", created,
              kept, held, kills, seed);
        QVERIFY(created >= stations * count);
    }
};

QTEST_GUILESS_MAIN(TstKillSoak)
#include "tst_kill_soak.moc"
