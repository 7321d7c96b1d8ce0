#pragma once

#include <QElapsedTimer>
#include <QSharedPointer>

#include <memory>
#include <vector>

class ICommand;

// A plant of listening wrenches in one process, on the real event loop: each
// wrench is a simulated wrench on its own in-process line, served by its own
// driver stand-in and its own plug-in instance, which runs one listen command.
class DBenchPlant {
public:
    explicit DBenchPlant(int wrenchCount);
    ~DBenchPlant();

    int wrenchCount() const;

    // Executes every listen command, one after the other spread evenly over
    // one poll interval, as wrenches coming on line at random would be.
    void startListening();
    // Turns the event loop for ms of wall time.
    static void runFor(int ms);

    // Every wrench tightens once, each at its own time within spreadMs from
    // now (a fixed seed picks them).
    void tightenOnceEach(int spreadMs, quint32 seed);
    // The time from each record saved by a wrench to the "eventData" update
    // of its listen command, in ms, for the records published so far.
    const std::vector<double>& publishLatenciesMs() const;

    // Frames written to the wrenches since the plant was built.
    qint64 framesWritten() const;

private:
    struct Station;

    std::vector<std::unique_ptr<Station>> m_stations;
    QElapsedTimer m_clock;
    std::vector<double> m_latenciesMs;
    qint64 m_framesWritten = 0;
};
