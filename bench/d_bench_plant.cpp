#include "d_bench_plant.h"

#include <d_abstract_command.h>
#include <d_sim_line.h>
#include <d_sim_wrench.h>
#include <p_device_stahlwille.h>
#include <p_driver_serial.h>

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace {

// The listen command polls once a second.
constexpr qint64 pollIntervalMs = 1000;

} // namespace

struct DBenchPlant::Station {
    DSimWrench wrench;
    DSimLine line{&wrench};
    PDriverSerial driver;
    PDeviceStahlwille plugin;
    // Made from the plug-in's prototype: destroyed before the plug-in, whose
    // Qt child it is.
    QSharedPointer<ICommand> listen;
    qint64 savedAtNs = -1;

    explicit Station(int number)
        : wrench("W" + QByteArray::number(number), DSimFaults(), quint32(number)) {
        driver.setLineDevice(&line);
        plugin.initPluginCommands();
        plugin.setDriver(&driver);
        listen = plugin.commandPrototype("listenEventsData")
                     ->createCommand({{"serialId", QString::fromLatin1(wrench.serialId())}});
    }
};

DBenchPlant::DBenchPlant(int wrenchCount) {
    m_clock.start();
    m_stations.reserve(size_t(wrenchCount));
    for (int number = 1; number <= wrenchCount; ++number) {
        m_stations.push_back(std::make_unique<Station>(number));
        Station& station = *m_stations.back();
        QObject::connect(&station.driver, &PDriverSerial::sigBytesWritten,
                         [this] { ++m_framesWritten; });
        QObject::connect(&station.wrench, &DSimWrench::tightened,
                         [this, &station] { station.savedAtNs = m_clock.nsecsElapsed(); });
        auto* command = dynamic_cast<DAbstractCommand*>(station.listen.data());
        QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                         [this, &station](const QString& key) {
                             if (key == QLatin1String("eventData") && station.savedAtNs >= 0) {
                                 m_latenciesMs.push_back(
                                     double(m_clock.nsecsElapsed() - station.savedAtNs) / 1e6);
                                 station.savedAtNs = -1;
                             }
                         });
    }
}

DBenchPlant::~DBenchPlant() {
    for (const auto& station : m_stations) {
        bool ok = false;
        station->listen->finishTheCommand(ok);
    }
}

int DBenchPlant::wrenchCount() const {
    return int(m_stations.size());
}

void DBenchPlant::startListening() {
    const qint64 count = qint64(m_stations.size());
    if (count == 0) {
        return;
    }
    QElapsedTimer since;
    since.start();
    qint64 started = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 due = std::min(count, (since.elapsed() + 1) * count / pollIntervalMs);
        while (started < due) {
            m_stations[size_t(started++)]->listen->commandExecute();
        }
        if (started == count) {
            loop.quit();
        }
    });
    tick.start(1);
    loop.exec();
}

void DBenchPlant::runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void DBenchPlant::tightenOnceEach(int spreadMs, quint32 seed) {
    QRandomGenerator random(seed);
    for (const auto& station : m_stations) {
        station->wrench.startTightenings(1, int(random.bounded(spreadMs)));
    }
}

const std::vector<double>& DBenchPlant::publishLatenciesMs() const {
    return m_latenciesMs;
}

qint64 DBenchPlant::framesWritten() const {
    return m_framesWritten;
}
